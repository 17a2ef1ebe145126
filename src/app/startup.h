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
    std::wstring programFolder;
    std::wstring programTitle;
    std::unique_ptr<registration::RegistrationPrompter> registrar;
    std::unique_ptr<ui::ReportGridPresenter> reportGrid;
    std::unique_ptr<ui::ReportGridPresenter> comparisonGrid;
    std::unique_ptr<inspection::ComponentInspector> inspector;
    std::unique_ptr<registry::RegistryAccessor> registryAccess;
    std::int32_t lastErrorNumber = 0;
    std::wstring lastErrorDescription;
    bool cancelRequested = false; // Cancel pressed in a folder report's or scan's progress
    bool windowsBuilt = false;    // the main and the text window were loaded
};

AppState& App();

// Runs start-up; true when the main window is shown, false when start-up
// failed (and was reported). A command-line switch never returns here.
bool Main();
[[noreturn]] void ExitProgram(bool fromMainWindow, unsigned exitCode = 0);
void ShowError(const std::wstring& procedure, const platform::ErrorRecord& error);
struct Command;
// The action a command line asked for, parsed once by Main.
void ProcessCommandLine(Command cmd);

} // namespace calvorn::app
