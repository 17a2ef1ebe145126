#include "app/quiet_scan.h"

#include "app/elevated_action.h"
#include "app/folder_records.h"
#include "app/quiet_report.h"
#include "app/report_file.h"
#include "app/scan_records.h"
#include "platform/elevation.h"
#include "platform/error_record.h"
#include "platform/path_forms.h"
#include "platform/text.h"
#include "platform/unique_handle.h"
#include "registration/export/export_formats.h"
#include "registration/health/registration_scan.h"
#include "registration/health/scan_repair.h"
#include "registration/registration_engine.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

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
        ReportShape shape;
        shape.header = ScanHeader(command.format);
        OpenQuietOutput(command, output, L"scan", report, shape);
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

// "calvorn-backup-20261208-013000.reg", then "...-2.reg" and on while one
// of that name is there: a backup never replaces an older one.
std::wstring BackupName(const SYSTEMTIME& t, int attempt) {
    wchar_t name[64];
    std::swprintf(name, 64, L"calvorn-backup-%04u%02u%02u-%02u%02u%02u", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond);
    return std::wstring(name) + (attempt > 1 ? L"-" + std::to_wstring(attempt) : L"") + L".reg";
}

// Writes the bytes whole under a new name in `folder` and flushes them to
// the disk; the path, or the system's code of why not (a part written is
// deleted again).
std::wstring WriteBackup(const std::wstring& folder, const std::string& bytes,
                         unsigned long& error) {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    for (int attempt = 1; attempt < 100; ++attempt) {
        const std::wstring path = platform::JoinPath(folder, BackupName(now, attempt));
        platform::UniqueFile file(::CreateFileW(platform::ExtendedPath(path).c_str(), GENERIC_WRITE,
                                                0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                                nullptr));
        if (!file) {
            error = LastErrorOr(ERROR_CANNOT_MAKE);
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
                continue;
            return {};
        }
        DWORD written = 0;
        const BOOL wrote = ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                       &written, nullptr);
        error = WriteFailureCode(wrote != FALSE, static_cast<unsigned long>(bytes.size()), written,
                                 ::GetLastError());
        if (error == ERROR_SUCCESS && !::FlushFileBuffers(file.get()))
            error = LastErrorOr(ERROR_WRITE_FAULT);
        file.reset();
        if (error == ERROR_SUCCESS)
            return path;
        ::DeleteFileW(platform::ExtendedPath(path).c_str());
        return {};
    }
    error = ERROR_FILE_EXISTS;
    return {};
}

// Where the backup goes: beside the report, or in the current folder when
// the report went to standard output.
std::wstring BackupFolder(const std::wstring& written) {
    if (written != L"-")
        return written.substr(0, written.rfind(L'\\') + 1);
    return platform::FullPath(L".");
}

// Refused for want of rights, in a program that could be given them.
bool NeedsElevation(const std::vector<registration::RemovalFailure>& failures) {
    return !platform::RunsElevated() &&
           std::any_of(failures.begin(), failures.end(),
                       [](const registration::RemovalFailure& failure) { return failure.denied; });
}

ExitCode Fix(const ScanResult& result, const std::wstring& written, IQuietOutput& output) {
    using registration::RemovalTarget;
    std::vector<RemovalTarget> targets = registration::RemovalTargets(result.entries);
    if (targets.empty())
        return ExitCode::Success;
    const auto refuse = [&output](const std::wstring& why) {
        output.Line(std::wstring(RowOf(ExitCode::NotRepaired).word) + L" " + why +
                        L"; nothing was removed",
                    true);
        return ExitCode::NotRepaired;
    };
    const std::vector<registration::ScanView> views = registration::ViewsOfThisMachine();
    registration::ExportedFile backup;
    std::vector<RemovalTarget> orphaned, unsafe;
    try {
        orphaned = registration::OrphanedProgIds(targets, views);
        targets.insert(targets.end(), orphaned.begin(), orphaned.end());
        backup.registration = registration::CaptureTargets(targets, unsafe);
    } catch (const platform::Failure& failure) {
        return refuse(L"the keys could not be read whole: " + failure.Record().description);
    }
    const auto nameOf = [](const RemovalTarget& target) {
        return L"\"" + VisibleText(registration::RegistryPathOf(target.view, target.key)) + L"\"";
    };
    for (const RemovalTarget& target : unsafe)
        output.Line(std::wstring(RowOf(ExitCode::NotRepaired).word) + L" " + nameOf(target) +
                        L" a name below it cannot be written to a .reg file",
                    true);
    if (targets.empty())
        return ExitCode::NotRepaired;
    // The 32-bit view's keys are named under Wow6432Node where there are two
    // machine views: the backup is imported in the 64-bit one.
    backup.registration.machine =
        views.size() > 2 ? registration::CapturedMachine::X64 : registration::CapturedMachine::X86;
    backup.registration.file = L"The broken COM registrations that calvorn -q -scan -fix removed";
    const std::wstring folder = BackupFolder(written);
    unsigned long error = ERROR_SUCCESS;
    const std::wstring path = WriteBackup(folder, registration::WriteRegFile({backup}, {}), error);
    if (path.empty())
        return refuse(L"\"" + folder + L"\" the backup could not be written: " +
                      registration::DescribeCode(HRESULT_FROM_WIN32(error), false));
    output.Line(L"backup \"" + path + L"\"", false);
    const std::vector<registration::RemovalFailure> failures = registration::RemoveTargets(targets);
    for (const RemovalTarget& target : targets) {
        bool failed = false;
        for (const registration::RemovalFailure& failure : failures) {
            if (failure.target == target) {
                failed = true;
                output.Line(std::wstring(RowOf(ExitCode::NotRepaired).word) + L" " +
                                nameOf(target) + L" " + failure.reason,
                            true);
            }
        }
        // A ProgID of a removed class goes with it, and says so.
        const bool progIdOfClass =
            std::find(orphaned.begin(), orphaned.end(), target) != orphaned.end();
        if (!failed)
            output.Line(L"removed " + nameOf(target) +
                            (progIdOfClass ? L" (its class is removed)" : L""),
                        false);
    }
    if (NeedsElevation(failures)) {
        output.Line(ElevationHint(MachineAction::Fix, false), true);
        return ExitCode::NeedsElevation;
    }
    return failures.empty() && unsafe.empty() ? ExitCode::Success : ExitCode::NotRepaired;
}

} // namespace

ExitCode RunQuietScan(const Command& command, IQuietOutput& output) {
    ScanResult result;
    try {
        registration::ServerFiles files(registration::SystemFileLookups());
        result = registration::ScanRegistrations(files, registration::ViewsOfThisMachine());
    } catch (const std::bad_alloc&) {
        Fail(output, L"-", ERROR_NOT_ENOUGH_MEMORY);
        return ExitCode::ReportNotWritten;
    }
    const std::optional<std::wstring> written = WriteScan(command, result, output);
    if (!written)
        return ExitCode::ReportNotWritten;
    if (*written != L"-")
        output.Line(L"written \"" + *written + L"\"", false);
    output.Line(ScanSummary(result), false);
    if (command.fix) {
        try {
            return Fix(result, *written, output);
        } catch (const std::bad_alloc&) {
            // Nothing is removed before its backup is written.
            output.Line(std::wstring(RowOf(ExitCode::NotRepaired).word) + L" " +
                            platform::SystemMessage(ERROR_NOT_ENOUGH_MEMORY),
                        true);
            return ExitCode::NotRepaired;
        }
    }
    for (const ScanEntry& entry : result.entries)
        if (entry.state == ScanState::Broken)
            return ExitCode::RegistrationsBroken;
    return ExitCode::Success;
}

} // namespace calvorn::app
