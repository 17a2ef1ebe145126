#include "ui/progress_window.h"

#include <commctrl.h>

namespace calvorn::ui {

namespace {

// Layout in twips, so that it scales with the display's DPI.
constexpr int kClientWidth = 5700;
constexpr int kClientHeight = 2280;
// Milliseconds between two moves of the bar.
constexpr DWORD kBarInterval = 30;

} // namespace

ProgressWindow& TheProgressWindow() {
    static ProgressWindow window;
    return window;
}

bool ProgressWindow::Load() {
    if (Hwnd())
        return true;
    // The real size is set once the window knows its DPI (WM_CREATE).
    return CreateHidden(L"Creating ActiveX Report", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                        WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME, 400, 200);
}

void ProgressWindow::Show() {
    RECT work{}, window{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    ::GetWindowRect(Hwnd(), &window);
    int width = window.right - window.left;
    int height = window.bottom - window.top;
    ::SetWindowPos(Hwnd(), nullptr, work.left + (work.right - work.left - width) / 2,
                   work.top + (work.bottom - work.top - height) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::ShowWindow(Hwnd(), SW_SHOW);
    ::UpdateWindow(Hwnd());
}

void ProgressWindow::Hide() {
    ::ShowWindow(Hwnd(), SW_HIDE);
}

void ProgressWindow::Max(std::int32_t value) {
    max_ = value;
    shownPixels_ = -1;
    shownAt_ = ::GetTickCount() - kBarInterval;
    ::SendMessageW(Control(IDC_PROGRESS_BAR), PBM_SETRANGE32, 0, value);
}

void ProgressWindow::Value(std::int32_t value) {
    // The bar repaints itself at once on every new position, which costs
    // more than reading a file. It moves when the eye can tell: by a pixel
    // at least, at most about thirty times a second, and always to the end.
    HWND bar = Control(IDC_PROGRESS_BAR);
    RECT inside{};
    ::GetClientRect(bar, &inside);
    const int pixels = max_ > 0 ? ::MulDiv(value, inside.right - inside.left, max_) : 0;
    const DWORD now = ::GetTickCount();
    if (value < max_ && (pixels == shownPixels_ || now - shownAt_ < kBarInterval))
        return;
    shownPixels_ = pixels;
    shownAt_ = now;
    ::SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(value), 0);
    const std::wstring count =
        countWord_ + L" " + std::to_wstring(value) + L" of " + std::to_wstring(max_);
    ::SetWindowTextW(Control(IDC_PROGRESS_COUNT), count.c_str());
}

void ProgressWindow::FileCaption(const std::wstring& text) {
    ::SetWindowTextW(Control(IDC_PROGRESS_FILE), text.c_str());
}

void ProgressWindow::Task(const std::wstring& title, const std::wstring& itemLabel,
                          const std::wstring& countWord) {
    ::SetWindowTextW(Hwnd(), title.c_str());
    ::SetWindowTextW(Control(IDC_PROGRESS_TITLE), title.c_str());
    ::SetWindowTextW(Control(IDC_PROGRESS_ITEM_CAPTION), itemLabel.c_str());
    ::SetWindowTextW(Control(IDC_PROGRESS_COUNT), L"");
    countWord_ = countWord;
}

LRESULT ProgressWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE:
        OnCreate();
        return 0;
    case WM_CLOSE:
        // The close box asks to stop, as Cancel does; the window itself stays
        // until the report hides it.
        if (onCancel_)
            onCancel_();
        return 0;
    case WM_COMMAND:
        if ((LOWORD(wp) == IDC_PROGRESS_CANCEL || LOWORD(wp) == IDCANCEL) &&
            HIWORD(wp) == BN_CLICKED) {
            if (onCancel_)
                onCancel_();
            return 0;
        }
        return DefaultProc(msg, wp, lp);
    case WM_DESTROY:
        OnDestroy();
        return 0;
    default:
        return DefaultProc(msg, wp, lp);
    }
}

HWND ProgressWindow::AddControl(const wchar_t* cls, const wchar_t* text, DWORD style, int id,
                                int left, int top, int width, int height, HFONT font) {
    HWND control = ::CreateWindowExW(
        0, cls, text, WS_CHILD | WS_VISIBLE | style, TwipsToPixels(left, dpi_),
        TwipsToPixels(top, dpi_), TwipsToPixels(width, dpi_), TwipsToPixels(height, dpi_), Hwnd(),
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
    if (control && font)
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

void ProgressWindow::OnCreate() {
    dpi_ = WindowDpi(Hwnd());
    font_ = UiFont(dpi_);
    boldFont_ = UiFont(dpi_, L"Arial", 90, true);

    RECT frame{0, 0, TwipsToPixels(kClientWidth, dpi_), TwipsToPixels(kClientHeight, dpi_)};
    ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrW(Hwnd(), GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongPtrW(Hwnd(), GWL_EXSTYLE)));
    ::SetWindowPos(Hwnd(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    HWND picture = AddControl(L"STATIC", L"", SS_ICON | SS_CENTERIMAGE, IDC_PROGRESS_ICON, 180, 150,
                              480, 480, nullptr);
    HICON icon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
    if (!icon)
        icon = ::LoadIconW(nullptr, IDI_INFORMATION);
    ::SendMessageW(picture, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);

    AddControl(L"STATIC", L"Please wait...", SS_LEFT | SS_NOPREFIX, IDC_PROGRESS_WAIT, 840, 150,
               4680, 255, boldFont_.get());
    AddControl(L"STATIC", L"Creating ActiveX Report", SS_LEFT | SS_NOPREFIX, IDC_PROGRESS_TITLE,
               840, 420, 4680, 255, font_.get());
    AddControl(L"STATIC", L"Current file:", SS_LEFT | SS_NOPREFIX, IDC_PROGRESS_ITEM_CAPTION, 180,
               840, 1080, 255, font_.get());
    AddControl(L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, IDC_PROGRESS_FILE, 1380,
               840, 4140, 255, font_.get());
    AddControl(PROGRESS_CLASSW, L"", PBS_SMOOTH, IDC_PROGRESS_BAR, 180, 1170, 5340, 300, nullptr);
    AddControl(L"STATIC", L"", SS_ETCHEDHORZ, IDC_PROGRESS_RULE, 180, 1620, 5340, 30, nullptr);
    AddControl(L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_CENTERIMAGE, IDC_PROGRESS_COUNT, 180,
               1770, 3960, 375, font_.get());
    AddControl(L"BUTTON", L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, IDC_PROGRESS_CANCEL, 4320, 1770,
               1200, 375, font_.get());
}

void ProgressWindow::OnDestroy() {
    font_.reset();
    boldFont_.reset();
}

} // namespace calvorn::ui
