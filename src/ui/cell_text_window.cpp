#include "ui/cell_text_window.h"

#include "ui/form_layout.h"
#include "ui/resource_ids.h"

#include <algorithm>

namespace calvorn::ui {

namespace {
constexpr const wchar_t* kCaption = L" Copy Selected";

// The stored client size in twips, with a fallback when the resource is gone.
SIZE StoredClientTwips() {
    SIZE size{7500, 3600};
    for (const LayoutBlock& block : ParseLayout(LayoutResourceText(IDR_LAYOUT_DISPLAY))) {
        if (block.kind == L"Form") {
            size.cx = static_cast<LONG>(block.Number(L"ClientWidth", size.cx));
            size.cy = static_cast<LONG>(block.Number(L"ClientHeight", size.cy));
        }
    }
    return size;
}
} // namespace

CellTextWindow& DisplayWindow() {
    static CellTextWindow window;
    return window;
}

bool CellTextWindow::Load(HWND owner) {
    if (Hwnd())
        return true;
    owner_ = owner;
    // No minimize box: minimized, a modal window would leave its disabled
    // owner with nothing on screen to come back by.
    const DWORD style = (WS_OVERLAPPEDWINDOW & ~WS_MINIMIZEBOX) | WS_CLIPCHILDREN;
    if (!CreateHidden(kCaption, style, WS_EX_CONTROLPARENT, CW_USEDEFAULT, CW_USEDEFAULT, owner))
        return false;
    UINT dpi = WindowDpi(Hwnd());
    SIZE twips = StoredClientTwips();
    RECT r{0, 0, TwipsToPixels(twips.cx, dpi), TwipsToPixels(twips.cy, dpi)};
    ::AdjustWindowRectEx(&r, style, FALSE, WS_EX_CONTROLPARENT);
    ::SetWindowPos(Hwnd(), nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

void CellTextWindow::Unload() {
    if (Hwnd())
        ::DestroyWindow(Hwnd());
    onSave_ = nullptr;
    onAction_ = nullptr;
}

void CellTextWindow::Frame(const std::wstring& caption, int widthTwips, int heightTwips) {
    if (!Hwnd() && !Load(owner_))
        return;
    ::SetWindowTextW(Hwnd(), caption.c_str());
    const UINT dpi = WindowDpi(Hwnd());
    RECT r{0, 0, TwipsToPixels(widthTwips, dpi), TwipsToPixels(heightTwips, dpi)};
    ::AdjustWindowRectEx(&r, static_cast<DWORD>(::GetWindowLongPtrW(Hwnd(), GWL_STYLE)), FALSE,
                         WS_EX_CONTROLPARENT);
    ::SetWindowPos(Hwnd(), nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CellTextWindow::FixedPitch() {
    if (!Hwnd() && !Load(owner_))
        return;
    LOGFONTW face{};
    face.lfHeight = -::MulDiv(9, static_cast<int>(WindowDpi(Hwnd())), 72);
    face.lfWeight = FW_NORMAL;
    face.lfCharSet = DEFAULT_CHARSET;
    face.lfQuality = CLEARTYPE_QUALITY;
    // The pitch decides where the face is missing: any fixed font will do.
    face.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    lstrcpynW(face.lfFaceName, L"Courier New", LF_FACESIZE);
    platform::UniqueFont fixed(::CreateFontIndirectW(&face));
    if (!fixed)
        return;
    font_ = std::move(fixed);
    ::SendMessageW(txtinfo_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
    ::SendMessageW(txtinfo_, EM_SETREADONLY, TRUE, 0);
}

void CellTextWindow::OfferSave(std::function<void(HWND, const std::wstring&)> save) {
    onSave_ = std::move(save);
    if (!Hwnd() && !Load(owner_))
        return;
    if (!save_) {
        save_ = ::CreateWindowExW(0, L"BUTTON", L"&Save...",
                                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0,
                                  Hwnd(), reinterpret_cast<HMENU>(IDC_SAVE_TEXT),
                                  ::GetModuleHandleW(nullptr), nullptr);
        ::SendMessageW(save_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    }
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    OnSize(client.right, client.bottom);
}

std::wstring CellTextWindow::Text() const {
    if (!txtinfo_)
        return {};
    int length = ::GetWindowTextLengthW(txtinfo_);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(txtinfo_, text.data(), length + 1)));
    return text;
}

void CellTextWindow::Text(const std::wstring& value) {
    if (!Hwnd() && !Load(owner_))
        return;
    ::SetWindowTextW(txtinfo_, value.c_str());
}

void CellTextWindow::ShowModal() {
    if (!Hwnd())
        return;
    HWND owner = owner_;
    if (owner) {
        // Centred over the window it belongs to, and kept on the screen.
        RECT o{}, self{};
        ::GetWindowRect(owner, &o);
        ::GetWindowRect(Hwnd(), &self);
        int x = (o.left + o.right - (self.right - self.left)) / 2;
        int y = (o.top + o.bottom - (self.bottom - self.top)) / 2;
        ::SetWindowPos(Hwnd(), nullptr, x > 0 ? x : 0, y > 0 ? y : 0, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ::EnableWindow(owner, FALSE);
    } else {
        // Alone (the usage of a command line): centred on the work area and
        // no larger than it, so that its title and its edges are on screen.
        RECT area{}, self{};
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        ::GetWindowRect(Hwnd(), &self);
        const int width = std::min(self.right - self.left, area.right - area.left);
        const int height = std::min(self.bottom - self.top, area.bottom - area.top);
        ::SetWindowPos(Hwnd(), nullptr, area.left + (area.right - area.left - width) / 2,
                       area.top + (area.bottom - area.top - height) / 2, width, height,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::ShowWindow(Hwnd(), SW_SHOW);
    ::SetForegroundWindow(Hwnd());
    ::SetFocus(txtinfo_);
    // Selected, ready to be copied; a read-only text (the usage) is read
    // from its top instead.
    if (!(::GetWindowLongPtrW(txtinfo_, GWL_STYLE) & ES_READONLY))
        ::SendMessageW(txtinfo_, EM_SETSEL, 0, -1);
    MSG msg;
    bool quit = false;
    while (Hwnd()) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            quit = got == 0;
            break;
        }
        if (!::IsDialogMessageW(Hwnd(), &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    if (owner) {
        ::EnableWindow(owner, TRUE);
        ::SetActiveWindow(owner);
    }
    if (quit)
        ::PostQuitMessage(static_cast<int>(msg.wParam));
    Unload();
}

void CellTextWindow::Close() {
    // The owner takes input again before this window goes, so the system
    // hands the activation back to it and not to another program.
    if (owner_)
        ::EnableWindow(owner_, TRUE);
    ::DestroyWindow(Hwnd());
}

void CellTextWindow::OfferAction(const std::wstring& label, std::function<void(HWND)> act) {
    onAction_ = std::move(act);
    if (!Hwnd() && !Load(owner_))
        return;
    if (!action_) {
        action_ = ::CreateWindowExW(0, L"BUTTON", label.c_str(),
                                    WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0,
                                    Hwnd(), reinterpret_cast<HMENU>(IDC_CELL_ACTION),
                                    ::GetModuleHandleW(nullptr), nullptr);
        ::SendMessageW(action_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    }
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    OnSize(client.right, client.bottom);
}

LRESULT CellTextWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE:
        OnCreate();
        return 0;
    case WM_SIZE:
        OnSize(LOWORD(lp), HIWORD(lp));
        return 0;
    case WM_COMMAND:
        if (LOWORD(wp) == IDCANCEL)
            Close();
        else if (LOWORD(wp) == IDC_SAVE_TEXT && onSave_)
            onSave_(Hwnd(), Text());
        else if (LOWORD(wp) == IDC_CELL_ACTION && onAction_)
            onAction_(Hwnd());
        return 0;
    case WM_CLOSE:
        Close();
        return 0;
    case WM_SYSCOMMAND:
        // Nor from the system menu or a keyboard shortcut.
        if ((wp & 0xFFF0) == SC_MINIMIZE)
            return 0;
        return DefaultProc(msg, wp, lp);
    case WM_DESTROY:
        font_.reset();
        txtinfo_ = nullptr;
        save_ = nullptr;
        action_ = nullptr;
        onAction_ = nullptr;
        return 0;
    default:
        return DefaultProc(msg, wp, lp);
    }
}

void CellTextWindow::OnCreate() {
    font_ = UiFont(WindowDpi(Hwnd()), L"Tahoma", 90);
    txtinfo_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                 WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE |
                                     ES_AUTOVSCROLL | ES_WANTRETURN,
                                 0, 0, 0, 0, Hwnd(), reinterpret_cast<HMENU>(IDC_CELL_TEXT),
                                 ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(txtinfo_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
}

void CellTextWindow::OnSize(int width, int height) {
    // The buttons, when there are any, keep a strip under the text, from
    // the right.
    int strip = 0, right = width;
    for (HWND button : {save_, action_}) {
        if (!button)
            continue;
        const UINT dpi = WindowDpi(Hwnd());
        const int margin = TwipsToPixels(90, dpi);
        const int buttonWidth = TwipsToPixels(button == save_ ? 1410 : 2400, dpi),
                  buttonHeight = TwipsToPixels(390, dpi);
        strip = buttonHeight + 2 * margin;
        ::MoveWindow(button, right - buttonWidth - margin, height - buttonHeight - margin,
                     buttonWidth, buttonHeight, TRUE);
        right -= buttonWidth + margin;
    }
    if (txtinfo_)
        ::MoveWindow(txtinfo_, 0, 0, width, height > strip ? height - strip : 0, TRUE);
}

} // namespace calvorn::ui
