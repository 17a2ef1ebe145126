#include "app/startup.h"

#include "app/report_inventory.h"
#include "app/window_export.h"

#include "app/first_run.h"
#include "app/startup_helpers.h"
#include "app/window_elevation.h"
#include "app/window_help.h"
#include "app/window_scan.h"
#include "app/command_line.h"
#include "app/exit_codes.h"
#include "app/quiet_check.h"
#include "app/quiet_registration.h"
#include "app/report.h"
#include "app/version.h"
#include "inspection/component_inspector.h"
#include "platform/elevation.h"
#include "platform/message_box.h"
#include "platform/path_forms.h"
#include "platform/program_parts.h"
#include "registration/registration_prompter.h"
#include "registry/registry_accessor.h"
#include "registry/verb_command.h"
#include "ui/report_grid_presenter.h"
#include "ui/cell_text_window.h"
#include "ui/main_window.h"
#include "ui/message_loop.h"
#include "ui/procedure_guard.h"

#include <windows.h>

#include <optional>
#include <utility>

namespace calvorn::app {

using platform::ErrorRecord;
using platform::Failure;

AppState& App() {
    static AppState state;
    return state;
}

void ShowError(const std::wstring& procedure, const ErrorRecord& error) {
    AppState& app = App();
    app.lastErrorNumber = error.number;
    app.lastErrorDescription = error.description;
    platform::Messages().Show(platform::FormatErrorReport(procedure, error), L"", MB_OK);
}

bool Main() {
    AppState& app = App();
    platform::DefaultTitle(L"" CALVORN_PRODUCT_NAME);
    ui::ReportProcedureErrorsTo(ShowError);
    try {
        app.programFolder = InitAppPath();
        InstallDependencies();

        // A switch action shows no window of ours but its message boxes (and
        // the folder report's progress), so it is carried out before the
        // windows are built and ends the process there.
        const std::wstring arguments = ArgumentsOf(::GetCommandLineW());
        std::optional<Command> command;
        if (!arguments.empty())
            command = ParseCommand(arguments, app.programFolder);
        if (command && command->action != CommandAction::OpenReport) {
            app.registrar = std::make_unique<registration::RegistrationPrompter>();
            app.registryAccess = std::make_unique<registry::RegistryAccessor>();
            OfferElevationOnRefusal(*app.registrar);
            ProcessCommandLine(*command);
        }

        // Only the window shows the title: a switch action never reads it.
        app.programTitle = BuildAppTitle();
        ui::MainWindow& main = ui::TheMainWindow();
        app.windowsBuilt = true;
        main.Services().showError = ShowError;
        main.Services().onUnload = [] { ExitProgram(true); };
        main.Services().checkComputer = CheckThisComputer;
        main.Services().needsElevation = !platform::RunsElevated();
        main.Services().appPath = app.programFolder;
        main.Services().initButtons = InitButtons;
        main.Services().getSetting = [](const std::wstring& key, const std::wstring& fallback) {
            return GetSetting(L"General", key, fallback);
        };
        main.Services().saveSetting = [](const std::wstring& key, const std::wstring& value) {
            SaveSetting(L"General", key, value);
        };
        if (!main.Load())
            throw Failure(platform::Win32Error(::GetLastError()));
        // The text window is made when a cell is first shown in it: the
        // first paint of the main window does not wait for it.
        main.Caption(app.programTitle);

        app.registrar = std::make_unique<registration::RegistrationPrompter>();
        app.reportGrid = std::make_unique<ui::ReportGridPresenter>();
        app.comparisonGrid = std::make_unique<ui::ReportGridPresenter>();
        app.inspector = std::make_unique<inspection::ComponentInspector>(
            platform::Messages(), ShowError, ReadComparedFile);
        app.registryAccess = std::make_unique<registry::RegistryAccessor>();
        main.Services().registrator = app.registrar.get();
        OfferElevationOnRefusal(*app.registrar);
        main.Services().verbsRefused = OfferElevatedVerbs;
        main.Services().showAbout = ShowAbout;
        main.Services().showGuide = OpenGuide;
        main.Services().exportFile = [](const std::wstring& file, registration::ExportFormat format,
                                        const std::wstring& out, bool perUser) {
            // As Register: the window keeps painting while the component runs.
            registration::RegistrationPrompter& prompter = *App().registrar;
            auto& options = prompter.Options();
            const auto before = std::exchange(options.wait, platform::WaitStyle::PumpMessages);
            options.perUser = perUser;
            ExportFromWindow(prompter, file, format, out);
            options.wait = before;
        };
        main.Services().activeX = app.inspector.get();
        main.Services().checkRegistration = [](const std::wstring& path) {
            if (App().inspector)
                CheckInReport(*App().inspector, path);
        };

        app.reportGrid->Init(main.ReportGrid());
        app.comparisonGrid->Init(main.ComparisonGrid());
        app.inspector->Init(*app.reportGrid, *app.comparisonGrid);

        if (command)
            ProcessCommandLine(*command);

        ui::PumpPendingMessages();
        main.ActiveTab(0);
        main.Show();
        return true;
    } catch (...) {
        ShowError(L"Main", platform::CurrentFailure());
    }
    return false;
}

void ExitProgram(bool fromMainWindow, unsigned exitCode) {
    AppState& app = App();
    // A switch action never built the windows; nothing of them is to be undone.
    if (app.windowsBuilt) {
        if (!fromMainWindow) {
            // Destroying the main window runs its unload handler, which comes
            // back here with true and ends the process.
            if (HWND main = ui::TheMainWindow().Hwnd())
                ::DestroyWindow(main);
        }
        ui::DisplayWindow().Unload();
    }
    app.registrar.reset();
    app.reportGrid.reset();
    app.comparisonGrid.reset();
    app.inspector.reset();
    app.registryAccess.reset();
    ::ExitProcess(exitCode);
}

namespace {

bool Confirmed(const wchar_t* title) {
    return platform::Messages().Show(L"Are You Sure?", title, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// The registration host starts while the question is on screen, not before
// it: the box does not share the machine with the host's start, and the host
// is ready long before anyone answers. A box answered sooner (by a script)
// leaves the start to the registration itself.
constexpr UINT kPrepareAfterMs = 10;
const std::wstring* g_toPrepare = nullptr;

void CALLBACK PrepareNow(HWND, UINT, UINT_PTR timer, DWORD) {
    ::KillTimer(nullptr, timer);
    const std::wstring* path = std::exchange(g_toPrepare, nullptr);
    if (!path)
        return;
    try {
        App().registrar->Prepare(*path);
    } catch (const Failure&) {
        // Only a head start: the registration starts its host itself and
        // reports what stops it there.
    } catch (...) {
        // A timer callback is a boundary: anything else is told, not lost.
        ShowError(L"Prepare", platform::CurrentFailure());
    }
}

bool ConfirmedWhilePreparing(const wchar_t* title, const std::wstring& path) {
    g_toPrepare = &path;
    // The box's own message loop runs the timer.
    const UINT_PTR timer = ::SetTimer(nullptr, 0, kPrepareAfterMs, PrepareNow);
    const bool yes = Confirmed(title);
    if (timer)
        ::KillTimer(nullptr, timer);
    g_toPrepare = nullptr;
    return yes;
}

// The exit code a quiet run would give for the last registration: the box
// told a person, the code tells the script that started the program.
// A refusal handed on to a run as administrator ends with that run's code.
unsigned OutcomeCode(registration::Operation operation) {
    const registration::EngineOutcome& last = App().registrar->LastOutcome();
    if (registration::RefusedForRights(last))
        if (const std::optional<unsigned long> elevated = ElevatedRunExitCode())
            return static_cast<unsigned>(*elevated);
    return static_cast<unsigned>(OutcomeOf(last, operation, platform::RunsElevated()).code);
}

// The usage in the text window, which scrolls: a box as tall as the text
// ran off a small screen with its title and its button.
void ShowUsage() {
    ui::CellTextWindow& window = ui::DisplayWindow();
    if (!window.Load(nullptr))
        return;
    window.Frame(L"Calvorn - command line", 11400, 6600);
    window.FixedPitch();
    window.Text(WindowUsage() + L"\r\n" + QuietUsage());
    window.ShowModal();
}

} // namespace

void ProcessCommandLine(Command cmd) {
    AppState& app = App();
    TakeWholePathIfCut(cmd, [](const std::wstring& path) {
        return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    });
    const bool registration =
        cmd.action == CommandAction::Register || cmd.action == CommandAction::Unregister;
    if (registration && !cmd.error.empty()) {
        platform::Messages().Show(cmd.error, L"Calvorn", MB_OK | MB_ICONEXCLAMATION);
        ExitProgram(false, static_cast<unsigned>(ExitCode::BadArguments));
    }
    if (registration && cmd.waitSeconds)
        app.registrar->Options().timeoutMs = cmd.waitSeconds * 1000;
    switch (cmd.action) {
    case CommandAction::Register:
        // Redirected where the entry point runs: in the registration host,
        // which starts while the question is asked.
        app.registrar->Options().perUser = cmd.perUser;
        if (ConfirmedWhilePreparing(L"Calvorn - Registering ActiveX", cmd.path)) {
            app.registrar->RegisterActiveX(cmd.path);
            ExitProgram(false, OutcomeCode(registration::Operation::Register));
        }
        ExitProgram(false);
    case CommandAction::FolderReport:
        if (Confirmed(L"Calvorn - ActiveX Report")) {
            CreateReport(cmd.path);
        }
        ExitProgram(false);
    case CommandAction::Unregister:
        app.registrar->Options().perUser = cmd.perUser;
        if (ConfirmedWhilePreparing(L"Calvorn - UnRegistering ActiveX", cmd.path)) {
            app.registrar->UnRegisterActiveX(cmd.path);
            ExitProgram(false, OutcomeCode(registration::Operation::Unregister));
        }
        ExitProgram(false);
    case CommandAction::InstallVerbs: {
        const std::wstring program =
            platform::JoinPath(app.programFolder, platform::OwnProgramFileName());
        for (const registry::VerbAssociation& association : registry::VerbAssociations())
            if (association.fileType)
                app.registryAccess->CreateShellAssociation(program, association.name);
        ExitProgram(false);
    }
    case CommandAction::Export:            // the quiet mode's alone: the window's line has no "-e"
    case CommandAction::CheckRegistration: // a quiet action only
    case CommandAction::RestoreBackup:     // a quiet action only
    case CommandAction::ListOptions:
        if (cmd.error.empty())
            ShowUsage();
        ExitProgram(false, static_cast<unsigned>(cmd.error.empty() ? ExitCode::Success
                                                                   : ExitCode::BadArguments));
    case CommandAction::ScanMachine: // only ever quiet
    case CommandAction::OpenReport:
        app.inspector->FileName(cmd.path);
        ui::TheMainWindow().FilePath(app.inspector->FileName());
        app.inspector->DisplayInfo();
        return;
    }
}

} // namespace calvorn::app
