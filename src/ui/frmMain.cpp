#include "ui/frmMain.h"

#include <commctrl.h>

namespace calvorn::ui {

namespace {
const wchar_t* const kTabCaptions[] = {L"Register DLL / File", L"File Comparison", L"Options"};
}

frmMain& MainWindow() {
    static frmMain window;
    return window;
}

bool frmMain::Load() {
    if (Hwnd())
        return true;
    return CreateHidden(L"", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, 720, 560);
}

void frmMain::Caption(const std::wstring& text) {
    ::SetWindowTextW(Hwnd(), text.c_str());
}

int frmMain::ActiveTab() const {
    return TabCtrl_GetCurSel(tab_);
}

void frmMain::ActiveTab(int index) {
    TabCtrl_SetCurSel(tab_, index);
}

void frmMain::Show() {
    ::ShowWindow(Hwnd(), SW_SHOW);
    ::UpdateWindow(Hwnd());
}

LRESULT frmMain::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE:
        OnCreate();
        return 0;
    case WM_SIZE:
        OnSize(LOWORD(lp), HIWORD(lp));
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    default:
        return DefaultProc(msg, wp, lp);
    }
}

void frmMain::OnCreate() {
    UINT dpi = WindowDpi(Hwnd());
    font_ = UiFont(dpi);
    tab_ = ::CreateWindowExW(
        0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS, 0, 0, 0, 0,
        Hwnd(), reinterpret_cast<HMENU>(IDC_XTAB1), ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(tab_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    for (int i = 0; i < 3; ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(kTabCaptions[i]);
        TabCtrl_InsertItem(tab_, i, &item);
    }
}

void frmMain::OnSize(int width, int height) {
    if (tab_)
        ::MoveWindow(tab_, 0, 0, width, height, TRUE);
}

void frmMain::OnDestroy() {
    if (font_)
        ::DeleteObject(font_);
    font_ = nullptr;
    if (services_.onUnload)
        services_.onUnload();
}

} // namespace calvorn::ui
