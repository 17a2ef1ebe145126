// The window's help, where a window without a menu bar keeps it: the system
// menu (About, and the guide with its key) and F1.

#include "ui/main_window.h"

namespace calvorn::ui {

namespace {

// System-menu commands of our own: below 0xF000, their low four bits clear.
constexpr UINT kAboutCommand = 0x0110;
constexpr UINT kGuideCommand = 0x0120;

} // namespace

void MainWindow::AddHelpToSystemMenu() {
    HMENU menu = ::GetSystemMenu(Hwnd(), FALSE);
    if (!menu)
        return;
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, kGuideCommand, L"&Guide\tF1");
    ::AppendMenuW(menu, MF_STRING, kAboutCommand, L"&About Calvorn...");
}

bool MainWindow::OnHelp(UINT msg, WPARAM wp) {
    // While a registration runs the window takes no new work, the guide
    // included: the message would wait behind it.
    const UINT command = msg == WM_HELP ? kGuideCommand : static_cast<UINT>(wp & 0xFFF0);
    if (command == kGuideCommand && services_.showGuide) {
        if (!busy_)
            services_.showGuide(ActiveTab());
        return true;
    }
    if (command == kAboutCommand && services_.showAbout) {
        if (!busy_)
            services_.showAbout();
        return true;
    }
    return false;
}

} // namespace calvorn::ui
