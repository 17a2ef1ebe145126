#include "app/scan_records.h"

#include "app/folder_records.h"
#include "platform/text.h"

namespace calvorn::app {

using registration::ScanEntry;
using registration::ScanKind;
using registration::ScanState;

namespace {

// The entry's fields in their column order.
struct ScanColumns {
    std::string view, kind, key, missing, state;
};

ScanColumns ColumnsOf(const ScanEntry& entry) {
    return {platform::Narrow(registration::ViewName(entry.view)),
            platform::Narrow(registration::KindName(entry.kind)),
            platform::Narrow(registration::RegistryPathOf(entry.view, entry.key)),
            platform::Narrow(entry.detail), platform::Narrow(registration::StateName(entry.state))};
}

} // namespace

std::wstring ScanProblem(const ScanEntry& entry) {
    const std::wstring quoted = L"\"" + entry.detail + L"\"";
    switch (entry.kind) {
    case ScanKind::ClassServer:
    case ScanKind::LocalServer:
    case ScanKind::TypeLibFile:
        return (entry.state == ScanState::Unknown ? L"cannot check " : L"missing file ") + quoted;
    case ScanKind::ServerBitness: {
        // The file quoted, its bitness after it: "C:\x.dll" (64-bit).
        const std::size_t bitness = entry.detail.rfind(L" (");
        if (bitness == std::wstring::npos)
            return L"other bitness " + quoted;
        return L"other bitness \"" + entry.detail.substr(0, bitness) + L"\"" +
               entry.detail.substr(bitness);
    }
    case ScanKind::ProgIdClass:
        return L"missing class " + entry.detail;
    case ScanKind::Link:
        return L"link to " + quoted + L", not followed";
    case ScanKind::InterfaceTypeLib:
        break;
    }
    return L"missing type library " + entry.detail;
}

std::wstring ScanTextLine(const ScanEntry& entry) {
    return VisibleText(std::wstring(registration::StateName(entry.state)) + L"  " +
                       registration::ViewName(entry.view) + L"  " +
                       registration::KindName(entry.kind) + L"  " +
                       registration::RegistryPathOf(entry.view, entry.key) + L"  " +
                       ScanProblem(entry)) +
           L"\r\n";
}

std::string ScanHeader(ReportFormat format) {
    return format == ReportFormat::Csv ? "view,kind,key,missing,state\r\n" : std::string();
}

std::string ScanRecord(ReportFormat format, const ScanEntry& entry) {
    const ScanColumns c = ColumnsOf(entry);
    switch (format) {
    case ReportFormat::Csv:
        return CsvField(c.view) + ',' + CsvField(c.kind) + ',' + CsvField(c.key) + ',' +
               CsvField(c.missing) + ',' + CsvField(c.state) + "\r\n";
    case ReportFormat::JsonLines:
        return "{\"view\":" + JsonString(c.view) + ",\"kind\":" + JsonString(c.kind) +
               ",\"key\":" + JsonString(c.key) + ",\"missing\":" + JsonString(c.missing) +
               ",\"state\":" + JsonString(c.state) + "}\n";
    case ReportFormat::Text:
        break;
    }
    return platform::Narrow(ScanTextLine(entry));
}

std::wstring ScanSummary(const registration::ScanResult& result) {
    std::size_t broken = 0, unknown = 0;
    for (const ScanEntry& entry : result.entries)
        ++(entry.state == ScanState::Unknown ? unknown : broken);
    return std::to_wstring(broken) + L" broken, " + std::to_wstring(unknown) + L" unknown, " +
           std::to_wstring(result.checked) + L" registrations checked";
}

} // namespace calvorn::app
