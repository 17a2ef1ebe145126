// calvorn_shots: brings the main window into one state for a screenshot:
// the report of a sample component on the first tab, a comparison of two
// libraries on the second, then the asked tab at its smallest or maximized.
// Prints "ready" and the window's size (the window is at the screen's
// top left unless maximized) when it is settled, holds it, then closes it.
//
//   calvorn_shots.exe TAB min|max SECONDS [dark]
//
// "dark" shows the window under a dark high-contrast scheme, put back after.

#include "e2e/mainwindow/main_window_driver.h"
#include "support/system_scheme.h"

#include <cstdio>
#include <memory>
#include <thread>

using namespace calvorn::test;
using namespace calvorn::ui;
using namespace std::chrono_literals;

namespace {

bool Choose(MainWindowRun& w, int button, const std::wstring& path) {
    PressCommand(w.Control(button));
    HWND dialog = WaitForDialog(w.run, L"Open");
    return dialog && ChooseInOpenDialog(dialog, path);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4)
        return 2;
    const int tab = _wtoi(argv[1]);
    const bool maximized = std::wstring(argv[2]) == L"max";
    std::unique_ptr<ScopedSystemColours> scheme;
    if (argc > 4 && std::wstring(argv[4]) == L"dark")
        scheme = std::make_unique<ScopedSystemColours>(DarkHighContrastColours());
    ForgetPlacement();
    MainWindowRun w(L"\"" + FixturePath(L"tl_alpha.dll") + L"\"");
    if (!w.main)
        return 1;
    if (tab == 1) {
        SelectTab(w.main, 1);
        WaitUntil([&] { return w.Control(IDC_SELECT_FIRST_FILE) != nullptr; });
        Choose(w, IDC_SELECT_FIRST_FILE, FixturePath(L"tl_alpha.dll"));
        Choose(w, IDC_SELECT_SECOND_FILE, FixturePath(L"tl_alpha2.dll"));
    }
    SelectTab(w.main, tab);
    if (maximized)
        ::PostMessageW(w.main, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    else
        ::SetWindowPos(w.main, nullptr, 0, 0, 0, 0, SWP_NOZORDER);
    std::this_thread::sleep_for(1500ms);
    RECT frame{};
    ::GetWindowRect(w.main, &frame);
    std::printf("ready %ld %ld\n", frame.right - frame.left, frame.bottom - frame.top);
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(_wtoi(argv[3])));
    // Closed before its placement is forgotten: closing stores it.
    ::PostMessageW(w.main, WM_CLOSE, 0, 0);
    w.run.WaitForExit(std::chrono::seconds(20));
    ForgetPlacement();
    return 0;
}
