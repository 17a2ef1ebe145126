#include "app/quiet_scan.h"

#include "app/quiet_report.h"
#include "app/scan_records.h"
#include "platform/error_record.h"
#include "registration/health/registration_scan.h"
#include "registration/registration_engine.h"

#include <windows.h>

namespace calvorn::app {

using registration::ScanEntry;
using registration::ScanResult;
using registration::ScanState;

namespace {

void Fail(IQuietOutput& output, const std::wstring& path, unsigned long win32Error) {
    output.Line(std::wstring(RowOf(ExitCode::ReportNotWritten).word) + L" \"" + path + L"\" " +
                    registration::DescribeCode(HRESULT_FROM_WIN32(win32Error), false),
                true);
}

// Writes the entries where the command sends them; the path written ("-"
// for standard output), or nothing when it could not be written.
std::optional<std::wstring> WriteScan(const Command& command, const ScanResult& result,
                                      IQuietOutput& output) {
    std::wstring target =
        command.out.empty() ? DefaultReportPath(command.format, L"scan") : command.out;
    try {
        std::optional<ReportOutput> report;
        OpenQuietOutput(command, output, L"scan", ScanHeader(command.format), report);
        target = report->Path();
        for (const ScanEntry& entry : result.entries)
            report->WriteEncoded(ScanRecord(command.format, entry));
        report->Commit();
    } catch (const platform::Failure& failure) {
        Fail(output, target, static_cast<unsigned long>(failure.Record().number));
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        Fail(output, target, ERROR_NOT_ENOUGH_MEMORY);
        return std::nullopt;
    }
    return target;
}

} // namespace

ExitCode RunQuietScan(const Command& command, IQuietOutput& output) {
    registration::ServerFiles files(registration::SystemFileLookups());
    const ScanResult result =
        registration::ScanRegistrations(files, registration::ViewsOfThisMachine());
    const std::optional<std::wstring> written = WriteScan(command, result, output);
    if (!written)
        return ExitCode::ReportNotWritten;
    if (*written != L"-")
        output.Line(L"written \"" + *written + L"\"", false);
    output.Line(ScanSummary(result), false);
    for (const ScanEntry& entry : result.entries)
        if (entry.state == ScanState::Broken)
            return ExitCode::RegistrationsBroken;
    return ExitCode::Success;
}

} // namespace calvorn::app
