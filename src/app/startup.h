#pragma once
// Start-up, the orderly exit, the error reporter and the command line.

#include "platform/error_record.h"

#include <memory>
#include <string>

namespace calvorn::registration {
class RegistrationPrompter;
}
namespace calvorn::inspection {
class ComponentInspector;
}
namespace calvorn::registry {
class RegistryAccessor;
}
namespace calvorn::ui {
class ReportGridPresenter;
}

namespace calvorn::app {

// Application-wide state, owned by start-up for the whole run.
struct AppState {
    std::wstring sAppPath;
    std::wstring sAppTitle;
    std::unique_ptr<registration::RegistrationPrompter> oRegistrator;
    std::unique_ptr<ui::ReportGridPresenter> oGridInfo;
    std::unique_ptr<ui::ReportGridPresenter> oGridComparison;
    std::unique_ptr<inspection::ComponentInspector> oActiveX;
    std::unique_ptr<registry::RegistryAccessor> oRegistry;
    std::int32_t lErrNumber = 0;
    std::wstring sErrDescription;
    bool bCancelReport = false;
    bool windowsBuilt = false; // the main and the text window were loaded
};

AppState& App();

// Runs start-up; true when the main window is shown, false when start-up
// failed (and was reported). A command-line switch never returns here.
bool Main();
[[noreturn]] void ExitProgram(bool bFromMainWindow, unsigned exitCode = 0);
void ShowError(const std::wstring& sProcedure, const platform::ErrorRecord& error);
struct Command;
// The action a command line asked for, parsed once by Main.
void ProcessCommandLine(Command cmd);

} // namespace calvorn::app
