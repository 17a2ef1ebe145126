// The shields of the main window: the actions that write the machine's keys
// say that they ask for the administrator's rights, as the system's own do.

#include "ui/command_button.h"
#include "ui/main_window.h"

namespace calvorn::ui {

void MainWindow::UpdateShields() {
    const auto shield = [this](int id, bool on) {
        if (CommandButton* button = CommandButton::From(Control(id)))
            button->Shield(services_.needsElevation && on);
    };
    // "For me only" writes this user's classes, which need no rights.
    const HWND forMe = Control(IDC_FOR_ME_ONLY);
    const bool machine = !forMe || ::SendMessageW(forMe, BM_GETCHECK, 0, 0) != BST_CHECKED;
    shield(IDC_REGISTER, machine);
    shield(IDC_UNREGISTER, machine);
    // Disable removes what Enable wrote; the rights it needs are the same.
    shield(IDC_SHELL_SWITCH, true);
}

} // namespace calvorn::ui
