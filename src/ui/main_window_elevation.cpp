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
    const HWND forMe = Control(IDC_CHKFORME);
    const bool machine = !forMe || ::SendMessageW(forMe, BM_GETCHECK, 0, 0) != BST_CHECKED;
    shield(IDC_CMDREG, machine);
    shield(IDC_CMDUNREG, machine);
    // Disable removes what Enable wrote; the rights it needs are the same.
    shield(IDC_CMDSHELLEX, true);
}

} // namespace calvorn::ui
