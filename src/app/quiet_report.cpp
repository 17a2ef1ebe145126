#include "app/quiet_report.h"

#include "app/report.h"
#include "app/report_inventory.h"
#include "app/report_output.h"
#include "inspection/file_signature.h"
#include "platform/disk_file.h"
#include "platform/error_record.h"
#include "platform/file_system_redirection.h"
#include "platform/path_forms.h"
#include "registration/registration_engine.h"

#include <windows.h>

#include <optional>

namespace calvorn::app {

using platform::Failure;

namespace {

// The platform's full path, or the name as given when it cannot make one
// (opening it then tells why).
std::wstring FullPath(const std::wstring& given) {
    std::wstring full = platform::FullPath(given);
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
    output.Line(OutputFailureLine(path, win32Error), true);
}

// Nothing cancels a run without a window.
const bool kNeverCancelled = false;

} // namespace

std::wstring DefaultReportPath(ReportFormat format, const wchar_t* stem) {
    return ReportFolder() + stem + ExtensionOf(format);
}

std::wstring OutputTarget(const std::wstring& out, const std::wstring& usualPath) {
    return out.empty() ? usualPath : out == L"-" ? out : FullPath(out);
}

void OpenOutput(const std::wstring& out, const std::wstring& usualPath, ReportClaim::Mode usualMode,
                ReportFormat format, IQuietOutput& output, std::optional<ReportOutput>& report,
                const ReportShape& shape) {
    if (!out.empty()) {
        switch (PlaceOf(out)) {
        case OutputPlace::StandardOutput:
            report.emplace(format, output, shape);
            return;
        case OutputPlace::Discard:
            report.emplace(format, ReportOutput::Discarded{}, shape);
            return;
        case OutputPlace::File:
            break;
        }
    }
    const std::wstring target = OutputTarget(out, usualPath);
    // Split at the last backslash only: "-out report" has no extension, and
    // gets none.
    const std::size_t slash = target.rfind(L'\\') + 1;
    // Runs at the same time each write a report of their own: the usual
    // place gives each its own name, a name the user chose is refused while
    // another run writes it.
    report.emplace(format, target.substr(0, slash), target.substr(slash),
                   out.empty() ? usualMode : ReportClaim::Mode::ThisNameOnly, shape);
}

void OpenQuietOutput(const Command& command, IQuietOutput& output, const wchar_t* stem,
                     std::optional<ReportOutput>& report, const ReportShape& shape) {
    OpenOutput(command.out, DefaultReportPath(command.format, stem),
               ReportClaim::Mode::NextFreeName, command.format, output, report, shape);
}

ExitCode RunQuietReport(const Command& command, IQuietOutput& output) {
    const std::wstring folder = FullPath(command.path);
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    DWORD attributesError = 0;
    {
        // The folder the walk lists (see ListFiles).
        platform::FileSystemRedirectionOff seeTheNamedFolder;
        attributes = platform::Attributes(folder);
        attributesError = ::GetLastError();
    }
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        Fail(output, folder,
             attributes == INVALID_FILE_ATTRIBUTES ? attributesError : ERROR_DIRECTORY);
        return ExitCode::ReportNotWritten;
    }
    std::wstring target = OutputTarget(command.out, DefaultReportPath(command.format));
    bool toFile = false;
    std::size_t unreadable = 0;
    ReportShape shape;
    shape.columns = {command.hashMd5, command.hashSha1, command.signature};
    shape.byteOrderMark = command.byteOrderMark;
    InventoryOptions inventory;
    inventory.types = {command.extraTypes, command.allTypes};
    // The text report shows no digest: it computes none.
    inventory.hashes = {command.hashMd5, command.hashSha1, command.format != ReportFormat::Text};
    inventory.registration = command.format != ReportFormat::Text;
    inventory.facts = command.format != ReportFormat::Text;
    try {
        std::optional<ReportOutput> report;
        OpenQuietOutput(command, output, L"output", report, shape);
        target = report->Path();
        toFile = report->IsFile();
        NoProgress progress;
        WriteReport(
            {folder, command.subfolders, inventory.types}, progress,
            [&](const std::wstring& path) {
                FolderRecord record = ReadInventoryRecord(path, inventory);
                return command.signature ? WithSignature(std::move(record)) : record;
            },
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
        output.Line(OutputFailureLine(target, failure.Record()), true);
        return ExitCode::ReportNotWritten;
    } catch (const std::bad_alloc&) {
        Fail(output, target, ERROR_NOT_ENOUGH_MEMORY);
        return ExitCode::ReportNotWritten;
    } catch (...) {
        Fail(output, target, ERROR_INTERNAL_ERROR);
        return ExitCode::ReportNotWritten;
    }
    if (toFile)
        output.Line(L"written \"" + target + L"\"", false);
    if (unreadable == 0)
        return ExitCode::Success;
    output.Line(std::to_wstring(unreadable) + (unreadable == 1 ? L" file" : L" files") +
                    L" could not be read",
                true);
    return ExitCode::Unreadable;
}

} // namespace calvorn::app
