#include "app/quiet_scan.h"

#include "app/backup_file.h"
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
    output.Line(OutputFailureLine(path, win32Error), true);
}

// Writes the entries to the output opened before the scan; the path written
// ("-" when no file is), or nothing when it could not be written.
std::optional<std::wstring> WriteScan(const Command& command, ReportOutput& report,
                                      const ScanResult& result, IQuietOutput& output) {
    try {
        for (const ScanEntry& entry : result.entries)
            report.WriteEncoded(ScanRecord(command.format, entry));
        report.Commit();
    } catch (const platform::Failure& failure) {
        output.Line(OutputFailureLine(report.Path(), failure.Record()), true);
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        Fail(output, report.Path(), ERROR_NOT_ENOUGH_MEMORY);
        return std::nullopt;
    }
    return report.IsFile() ? report.Path() : std::wstring(L"-");
}

// Where the backup goes: beside the report, or in the current folder when
// the report went to standard output.
std::wstring BackupFolder(const std::wstring& written) {
    if (written != L"-")
        return written.substr(0, written.rfind(L'\\') + 1);
    return platform::FullPath(L".");
}

std::wstring NameOf(const registration::RemovalTarget& target) {
    return L"\"" + VisibleText(registration::RegistryPathOf(target.view, target.key)) + L"\"";
}

ExitCode Fix(const ScanResult& result, const std::wstring& written, IQuietOutput& output) {
    using registration::PlannedRemoval;
    using registration::RemovalOutcome;
    using registration::RemovalTarget;
    const std::wstring notRepaired = RowOf(ExitCode::NotRepaired).word;
    const auto refuse = [&](const std::wstring& why) {
        output.Line(notRepaired + L" " + why + L"; nothing was removed", true);
        return ExitCode::NotRepaired;
    };
    const std::vector<registration::ScanView> views = registration::ViewsOfThisMachine();
    const registration::FileLookups lookups = registration::SystemFileLookups();
    registration::RepairPlan plan;
    try {
        plan = registration::PlanRepair(result.entries, views, lookups);
    } catch (const platform::Failure& failure) {
        return refuse(L"the keys could not be read whole: " + failure.Record().description);
    }
    const auto changed = [&output](const RemovalTarget& target) {
        output.Line(L"kept " + NameOf(target) + L" changed since the scan", false);
    };
    for (const RemovalTarget& target : plan.changed)
        changed(target);
    for (const RemovalTarget& target : plan.unsafe)
        output.Line(notRepaired + L" " + NameOf(target) +
                        L" a name below it cannot be written to a .reg file",
                    true);
    if (plan.removals.empty())
        return plan.unsafe.empty() ? ExitCode::Success : ExitCode::NotRepaired;
    const std::wstring folder = BackupFolder(written);
    unsigned long error = ERROR_SUCCESS;
    std::wstring path;
    try {
        path = WriteBackupFile(folder, registration::BackupOf(plan.removals), error);
    } catch (const registration::UnwritableName& refused) {
        return refuse(L"\"" + VisibleText(refused.Entry()) + L"\" " + refused.Reason());
    }
    if (path.empty())
        return refuse(L"\"" + folder + L"\" the backup could not be written: " +
                      registration::DescribeCode(HRESULT_FROM_WIN32(error), false));
    output.Line(L"backup \"" + path + L"\"", false);
    // Each key is judged again just before it goes, and told as it goes:
    // a run that is stopped has said what it removed.
    std::vector<PlannedRemoval> backedUp;
    bool failed = !plan.unsafe.empty(), skipped = false, denied = false;
    for (const PlannedRemoval& removal : plan.removals) {
        std::wstring reason;
        switch (registration::RemovePlanned(removal, views, lookups, reason)) {
        case RemovalOutcome::Removed:
            output.Line(L"removed " + NameOf(removal.target) +
                            (removal.withItsClass ? L" (its class is removed)" : L""),
                        false);
            backedUp.push_back(removal);
            break;
        case RemovalOutcome::Changed:
            changed(removal.target);
            skipped = true;
            break;
        case RemovalOutcome::Denied:
            denied = true;
            [[fallthrough]];
        case RemovalOutcome::Failed:
            // Part of it may be gone: its backup stays.
            output.Line(notRepaired + L" " + NameOf(removal.target) + L" " + reason, true);
            backedUp.push_back(removal);
            failed = true;
            break;
        }
    }
    // What was kept must not come back from the backup over what is there now.
    if (skipped) {
        error = ReplaceBackupFile(path, registration::BackupOf(backedUp));
        if (error != ERROR_SUCCESS) {
            output.Line(notRepaired + L" \"" + path +
                            L"\" also holds keys that were kept, and could not be rewritten: " +
                            registration::DescribeCode(HRESULT_FROM_WIN32(error), false),
                        true);
            failed = true;
        }
    }
    if (denied && !platform::RunsElevated()) {
        output.Line(ElevationHint(MachineAction::Fix, false), true);
        return ExitCode::NeedsElevation;
    }
    return failed ? ExitCode::NotRepaired : ExitCode::Success;
}

} // namespace

ExitCode RunQuietScan(const Command& command, IQuietOutput& output) {
    // An output that cannot be written is found before the scan.
    std::optional<ReportOutput> report;
    try {
        ReportShape shape;
        shape.header = ScanHeader(command.format);
        OpenQuietOutput(command, output, L"scan", report, shape);
    } catch (const platform::Failure& failure) {
        output.Line(
            OutputFailureLine(OutputTarget(command.out, DefaultReportPath(command.format, L"scan")),
                              failure.Record()),
            true);
        return ExitCode::ReportNotWritten;
    }
    ScanResult result;
    try {
        registration::ServerFiles files(registration::SystemFileLookups());
        result = registration::ScanRegistrations(files, registration::ViewsOfThisMachine());
    } catch (const std::bad_alloc&) {
        Fail(output, report->Path(), ERROR_NOT_ENOUGH_MEMORY);
        return ExitCode::ReportNotWritten;
    }
    const std::optional<std::wstring> written = WriteScan(command, *report, result, output);
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

namespace calvorn::app {

ExitCode RunQuietRestore(const Command& command, IQuietOutput& output) {
    const std::wstring notRestored = RowOf(ExitCode::NotRestored).word;
    const std::wstring path = platform::FullPath(command.path);
    const RestoreResult result = RestoreBackupFile(path);
    if (!result.unreadable.empty()) {
        output.Line(notRestored + L" \"" + path + L"\" " + result.unreadable +
                        L"; nothing was written",
                    true);
        return ExitCode::NotRestored;
    }
    for (const registration::RestoreFailure& failure : result.failures)
        output.Line(notRestored + L" \"" + VisibleText(failure.key) + L"\" " + failure.reason,
                    true);
    output.Line(std::to_wstring(result.keys - result.failures.size()) + L" of " +
                    std::to_wstring(result.keys) + L" keys restored from \"" + path + L"\"",
                false);
    return result.failures.empty() ? ExitCode::Success : ExitCode::NotRestored;
}

} // namespace calvorn::app
