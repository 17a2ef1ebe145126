#include "ui/frmMain.h"

#include <commctrl.h>

#include <initializer_list>

namespace calvorn::ui {

namespace {
const wchar_t* const kTabCaptions[] = {L"Register DLL / File", L"File Comparison", L"Options"};
const wchar_t kGridTip[] = L"Double Click for more info";
constexpr int kMargin = 8;
} // namespace

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
    // Selecting by program sends no change notification.
    ShowTabControls(TabCtrl_GetCurSel(tab_));
}

void frmMain::txtFile(const std::wstring& text) {
    ::SetWindowTextW(txtFile_, text.c_str());
}

std::wstring frmMain::txtFile() const {
    int length = ::GetWindowTextLengthW(txtFile_);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(txtFile_, text.data(), length + 1)));
    return text;
}

void frmMain::ShowTabControls(int index) {
    int show0 = index == 0 ? SW_SHOW : SW_HIDE;
    int show1 = index == 1 ? SW_SHOW : SW_HIDE;
    ::ShowWindow(txtFile_, show0);
    ::ShowWindow(gridinfo_.Hwnd(), show0);
    ::ShowWindow(gridcomparison_.Hwnd(), show1);
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
    case WM_NOTIFY:
        return OnNotify(reinterpret_cast<NMHDR*>(lp));
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

    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    txtFile_ =
        ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | ES_AUTOHSCROLL, 0,
                          0, 0, 0, Hwnd(), reinterpret_cast<HMENU>(IDC_TXTFILE), instance, nullptr);
    gridinfo_.Create(Hwnd(), IDC_GRIDINFO);
    gridcomparison_.Create(Hwnd(), IDC_GRIDCOMPARISON);
    for (HWND control : {txtFile_, gridinfo_.Hwnd(), gridcomparison_.Hwnd()})
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    // The tab control is the backdrop: the page controls lie above it.
    ::SetWindowPos(tab_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    tooltip_ =
        ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                          WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, Hwnd(), nullptr, instance, nullptr);
    for (HWND grid : {gridinfo_.Hwnd(), gridcomparison_.Hwnd()}) {
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = Hwnd();
        tool.uId = reinterpret_cast<UINT_PTR>(grid);
        tool.lpszText = const_cast<wchar_t*>(kGridTip);
        ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    ShowTabControls(0);
}

LRESULT frmMain::OnNotify(NMHDR* header) {
    LRESULT result = 0;
    if (gridinfo_.OnNotify(header, result) || gridcomparison_.OnNotify(header, result))
        return result;
    if (header && header->hwndFrom == tab_ && header->code == TCN_SELCHANGE)
        ShowTabControls(TabCtrl_GetCurSel(tab_));
    return 0;
}

void frmMain::LayoutControls() {
    RECT page{};
    ::GetClientRect(tab_, &page);
    TabCtrl_AdjustRect(tab_, FALSE, &page);
    int dpi = static_cast<int>(WindowDpi(Hwnd()));
    int margin = ::MulDiv(kMargin, dpi, 96);
    int editHeight = ::MulDiv(22, dpi, 96);
    int left = page.left + margin;
    int width = page.right - page.left - 2 * margin;
    int top = page.top + margin;
    ::MoveWindow(txtFile_, left, top, width, editHeight, TRUE);
    int gridTop = top + editHeight + margin;
    ::MoveWindow(gridinfo_.Hwnd(), left, gridTop, width, page.bottom - margin - gridTop, TRUE);
    ::MoveWindow(gridcomparison_.Hwnd(), left, top, width, page.bottom - margin - top, TRUE);
}

void frmMain::OnSize(int width, int height) {
    if (!tab_)
        return;
    ::MoveWindow(tab_, 0, 0, width, height, TRUE);
    LayoutControls();
}

void frmMain::OnDestroy() {
    if (font_)
        ::DeleteObject(font_);
    font_ = nullptr;
    if (services_.onUnload)
        services_.onUnload();
}

} // namespace calvorn::ui
