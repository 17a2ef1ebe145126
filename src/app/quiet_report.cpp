#include "app/quiet_report.h"

#include "app/report.h"
#include "app/report_inventory.h"
#include "app/report_output.h"
#include "platform/error_record.h"
#include "registration/registration_engine.h"

#include <windows.h>

#include <optional>

namespace calvorn::app {

using platform::Failure;

namespace {

std::wstring FullPath(const std::wstring& given) {
    DWORD need = ::GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    if (!need)
        return given;
    std::wstring full(need, L'\0');
    DWORD got = ::GetFullPathNameW(given.c_str(), need, full.data(), nullptr);
    full.resize(got < need ? got : 0);
    return full.empty() ? given : full;
}

const wchar_t* ExtensionOf(ReportFormat format) {
    switch (format) {
    case ReportFormat::Csv:
        return L".csv";
    case ReportFormat::JsonLines:
        return L".jsonl";
    case ReportFormat::Text:
        break;
    }
    return L".txt";
}

void Fail(IQuietOutput& output, const std::wstring& path, unsigned long win32Error) {
    output.Line(std::wstring(RowOf(ExitCode::ReportNotWritten).word) + L" \"" + path + L"\" " +
                    registration::DescribeCode(HRESULT_FROM_WIN32(win32Error), false),
                true);
}

// Nothing cancels a run without a window.
const bool kNeverCancelled = false;

} // namespace

std::wstring DefaultReportPath(ReportFormat format) {
    return ReportFolder() + L"output" + ExtensionOf(format);
}

ExitCode RunQuietReport(const Command& command, IQuietOutput& output) {
    const std::wstring folder = FullPath(command.path);
    DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        Fail(output, folder,
             attributes == INVALID_FILE_ATTRIBUTES ? ::GetLastError() : ERROR_DIRECTORY);
        return ExitCode::ReportNotWritten;
    }
    const bool toStandardOutput = command.out == L"-";
    std::wstring target = toStandardOutput      ? std::wstring(L"-")
                          : command.out.empty() ? DefaultReportPath(command.format)
                                                : FullPath(command.out);
    std::size_t unreadable = 0;
    const ReportShape shape{{command.hashMd5, command.hashSha1}, command.byteOrderMark};
    InventoryOptions inventory;
    inventory.types = {command.extraTypes, command.allTypes};
    // The text report shows no digest: it computes none.
    inventory.hashes = {command.hashMd5, command.hashSha1, command.format != ReportFormat::Text};
    try {
        std::optional<ReportOutput> report;
        if (toStandardOutput) {
            report.emplace(command.format, output, shape);
        } else {
            // Split at the last backslash only: "-out report" has no
            // extension, and gets none.
            const std::size_t slash = target.rfind(L'\\') + 1;
            // Runs at the same time each write a report of their own: the
            // usual place gives each its own name, a name the user chose
            // is refused while another run writes it.
            report.emplace(command.format, target.substr(0, slash), target.substr(slash),
                           command.out.empty() ? ReportClaim::Mode::NextFreeName
                                               : ReportClaim::Mode::ThisNameOnly,
                           shape);
            target = report->Path();
        }
        NoProgress progress;
        WriteReport(
            {folder, command.subfolders, inventory.types}, progress,
            [&inventory](const std::wstring& path) { return ReadInventoryRecord(path, inventory); },
            kNeverCancelled,
            [&](const FolderRecord& record) {
                if (!record.error.empty()) {
                    ++unreadable;
                    output.Line(std::wstring(RowOf(ExitCode::Unreadable).word) + L" \"" +
                                    record.path + L"\" " + VisibleText(record.error),
                                true);
                }
                report->Write(record);
            });
        report->Commit();
    } catch (const Failure& failure) {
        Fail(output, target, static_cast<unsigned long>(failure.Record().number));
        return ExitCode::ReportNotWritten;
    } catch (const std::bad_alloc&) {
        Fail(output, target, ERROR_NOT_ENOUGH_MEMORY);
        return ExitCode::ReportNotWritten;
    } catch (...) {
        Fail(output, target, ERROR_INTERNAL_ERROR);
        return ExitCode::ReportNotWritten;
    }
    if (!toStandardOutput)
        output.Line(L"written \"" + target + L"\"", false);
    if (unreadable == 0)
        return ExitCode::Success;
    output.Line(std::to_wstring(unreadable) + (unreadable == 1 ? L" file" : L" files") +
                    L" could not be read",
                true);
    return ExitCode::Unreadable;
}

} // namespace calvorn::app
