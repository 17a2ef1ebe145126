#include "app/quiet_mode.h"

#include "app/elevated_action.h"
#include "app/startup_helpers.h"
#include "app/quiet_check.h"
#include "app/quiet_export.h"
#include "app/quiet_registration.h"
#include "app/folder_records.h"
#include "app/quiet_report.h"
#include "app/quiet_scan.h"
#include "registration/registration_capture.h"
#include "platform/elevation.h"
#include "platform/ole_session.h"
#include "platform/path_forms.h"
#include "platform/program_parts.h"
#include "platform/text.h"
#include "registration/registrar.h"
#include "registry/registry_accessor.h"
#include "registry/verb_command.h"

#include <windows.h>

namespace calvorn::app {

using registration::Operation;

std::optional<Command> QuietCommandOfProcess() {
    std::wstring arguments = ArgumentsOf(::GetCommandLineW());
    Command command = ParseCommand(arguments, {});
    // A line that cannot be carried out is refused as a script's would be,
    // on standard error: a box would hold the script that mistyped it.
    const bool refused = command.action == CommandAction::ListOptions && !command.error.empty();
    if (!command.quiet && !refused)
        return std::nullopt;
    return command;
}

namespace {

ExitCode InstallVerbs(IQuietOutput& output) {
    registry::RegistryAccessor registry;
    const std::wstring program = platform::JoinPath(InitAppPath(), platform::OwnProgramFileName());
    // Every file type is done that can be; each that cannot is named. A type
    // that names no ProgID has nowhere for verbs: it is skipped, said so, and
    // is no failure (a fresh system has no ProgID for .ocx).
    bool failed = false;
    std::wstring installed;
    for (const registry::VerbAssociation& association : registry::VerbAssociations()) {
        if (!association.fileType)
            continue;
        const std::wstring type = association.name;
        if (registry.FileTypeProgId(type).empty()) {
            output.Line(L"skipped \"" + type + L"\": HKEY_CLASSES_ROOT\\" + type +
                            L" names no file type (ProgID), so it has no verbs",
                        false);
            continue;
        }
        const std::vector<std::wstring> problems = registry.CreateShellAssociation(program, type);
        for (const std::wstring& problem : problems)
            output.Line(std::wstring(RowOf(ExitCode::VerbsNotInstalled).word) + L" \"" + type +
                            L"\" " + problem,
                        true);
        if (problems.empty())
            installed += L" " + type;
        failed = failed || !problems.empty();
    }
    if (failed && registry.WriteDenied() && !platform::RunsElevated()) {
        output.Line(ElevationHint(MachineAction::InstallVerbs, false), true);
        return ExitCode::NeedsElevation;
    }
    if (!installed.empty())
        output.Line(L"installed \"" + program + L"\" for" + installed, false);
    else if (!failed)
        output.Line(std::wstring(RowOf(ExitCode::VerbsNotInstalled).word) +
                        L": no file type names a ProgID; nothing was installed",
                    true);
    return failed || installed.empty() ? ExitCode::VerbsNotInstalled : ExitCode::Success;
}

// Registering and exporting need OLE on this thread; without it nothing is
// tried and the script is told why.
ExitCode OleFailed(HRESULT failed, IQuietOutput& output) {
    output.Line(std::wstring(RowOf(ExitCode::OleFailed).word) + L" " +
                    registration::DescribeCode(failed, false),
                true);
    return ExitCode::OleFailed;
}

} // namespace

ExitCode RunQuiet(const Command& command, IQuietOutput& output) {
    // This thread's OLE, set up by what first needs it and undone here.
    platform::OleSession ole;
    if (!command.error.empty()) {
        output.Line(std::wstring(RowOf(ExitCode::BadArguments).word) + L": " + command.error +
                        L" (calvorn -q -? lists the options)",
                    true);
        return ExitCode::BadArguments;
    }
    switch (command.action) {
    case CommandAction::ListOptions:
        output.Data(platform::Narrow(QuietUsage() + L"\r\n" + ColumnsUsage()));
        return ExitCode::Success;
    case CommandAction::FolderReport:
        return RunQuietReport(command, output);
    case CommandAction::InstallVerbs:
        return InstallVerbs(output);
    case CommandAction::ScanMachine:
        return RunQuietScan(command, output);
    case CommandAction::RestoreBackup:
        return RunQuietRestore(command, output);
    case CommandAction::CheckRegistration: {
        // Each component's registration code runs in a host of its own
        // against a scratch key; what reaches the machine past it is named.
        registration::RemoveStaleScratchKeys();
        registration::RegistrationOptions options;
        registration::RegistrationSession session(options);
        return RunQuietCheck(command, output,
                             [&session](const std::wstring& path, FileOutcome& failure) {
                                 return ExpectedOfComponent(session, path, failure);
                             });
    }
    case CommandAction::Register:
    case CommandAction::Unregister:
    case CommandAction::Export:
        break;
    case CommandAction::OpenReport:
        return ExitCode::BadArguments;
    }
    const Operation operation =
        command.action == CommandAction::Register ? Operation::Register : Operation::Unregister;
    std::vector<std::wstring> files;
    for (const std::wstring& given : command.paths)
        for (std::wstring& path : ExpandPath(given))
            files.push_back(std::move(path));
    // Each file gets a fresh registration host. The first starts on its own
    // while OLE is set up here, the next ones while the files before them
    // run: the starts overlap the work.
    if (command.action == CommandAction::Export) {
        if (const HRESULT failed = platform::OleSession::Start(); FAILED(failed))
            return OleFailed(failed, output);
        return RunQuietExport(command, files, output);
    }
    registration::RegistrationOptions options;
    options.perUser = command.perUser;
    if (command.waitSeconds)
        options.timeoutMs = command.waitSeconds * 1000;
    registration::RegistrationSession session(options);
    if (!files.empty())
        session.Prepare(files.front());
    if (const HRESULT failed = platform::OleSession::Start(); FAILED(failed))
        return OleFailed(failed, output);
    size_t prepared = 1;
    bool refused = false;
    const ExitCode first = RegisterEach(
        operation, files,
        [&](const std::wstring& path) {
            for (; prepared < files.size(); ++prepared)
                if (!registration::IsExeServer(files[prepared]) &&
                    !session.Prepare(files[prepared]))
                    break;
            FileOutcome outcome = RegisterFile(session, operation, path);
            refused = refused || outcome.code == ExitCode::NeedsElevation;
            return outcome;
        },
        output);
    if (refused)
        output.Line(ElevationHint(operation == Operation::Register ? MachineAction::Register
                                                                   : MachineAction::Unregister,
                                  command.perUser),
                    true);
    return first;
}

} // namespace calvorn::app
