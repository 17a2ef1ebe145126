#include "ui/command_button.h"

#include "platform/gdi_objects.h"
#include "ui/procedure_guard.h"
#include "ui/resource_ids.h"
#include "ui/system_colours.h"
#include "ui/window.h"

#include <windowsx.h>

namespace calvorn::ui {

namespace {

// Pixels of this colour in the state pictures lie outside the rounded frame
// and take the colour of the surface the button stands on.
constexpr COLORREF kPictureKey = RGB(255, 0, 255);

void MatchBackground(HBITMAP bitmap) {
    DIBSECTION ds{};
    if (::GetObjectW(bitmap, sizeof ds, &ds) != sizeof ds || ds.dsBm.bmBitsPixel != 24 ||
        !ds.dsBm.bmBits)
        return;
    COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    auto* bits = static_cast<unsigned char*>(ds.dsBm.bmBits);
    for (int y = 0; y < ds.dsBm.bmHeight; ++y) {
        unsigned char* row = bits + static_cast<size_t>(y) * ds.dsBm.bmWidthBytes;
        for (int x = 0; x < ds.dsBm.bmWidth; ++x) {
            unsigned char* px = row + x * 3; // blue, green, red
            if (RGB(px[2], px[1], px[0]) == kPictureKey) {
                px[0] = GetBValue(face);
                px[1] = GetGValue(face);
                px[2] = GetRValue(face);
            }
        }
    }
}

// The six pictures, shared by every button of the process; loaded again
// when the face they are laid on has changed colour.
HBITMAP Picture(ButtonPicture which) {
    static platform::UniqueBitmap pictures[kButtonPictureCount];
    static bool loaded = false;
    static COLORREF loadedFace = 0;
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    if (!loaded || face != loadedFace) {
        loaded = true;
        loadedFace = face;
        for (int i = 0; i < kButtonPictureCount; ++i) {
            pictures[i].reset(static_cast<HBITMAP>(
                ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_BUTTON_SELECTED + i),
                             IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
            if (pictures[i])
                MatchBackground(pictures[i].get());
        }
    }
    return pictures[static_cast<int>(which)].get();
}

TRIVERTEX Vertex(int x, int y, std::uint32_t colour) {
    TRIVERTEX v{};
    v.x = x;
    v.y = y;
    v.Red = static_cast<COLOR16>((colour & 0xFF) << 8);
    v.Green = static_cast<COLOR16>(((colour >> 8) & 0xFF) << 8);
    v.Blue = static_cast<COLOR16>(((colour >> 16) & 0xFF) << 8);
    v.Alpha = 0;
    return v;
}

} // namespace

LRESULT CALLBACK CommandProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* self = new (std::nothrow) CommandButton(hwnd);
        if (!self)
            return FALSE;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<CommandButton*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    const LRESULT result = Guarded(
        kCommandClassName, msg, [&] { return self->Handle(msg, wp, lp); },
        [&] { return ::DefWindowProcW(hwnd, msg, wp, lp); });
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        delete self;
    }
    return result;
}

bool RegisterCommandClass() {
    static const ATOM atom = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &CommandProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kCommandClassName;
        return ::RegisterClassExW(&wc);
    }();
    return atom != 0;
}

HWND CreateCommand(HWND parent, int id, const std::wstring& caption, int x, int y, int width,
                   int height) {
    if (!RegisterCommandClass())
        return nullptr;
    return ::CreateWindowExW(0, kCommandClassName, caption.c_str(),
                             WS_CHILD | WS_VISIBLE | WS_TABSTOP, x, y, width, height, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             ::GetModuleHandleW(nullptr), nullptr);
}

CommandButton* CommandButton::From(HWND hwnd) {
    if (!hwnd)
        return nullptr;
    wchar_t name[64] = {};
    ::GetClassNameW(hwnd, name, 64);
    if (lstrcmpW(name, kCommandClassName) != 0)
        return nullptr;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != ::GetCurrentProcessId())
        return nullptr;
    return reinterpret_cast<CommandButton*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

CommandButton::CommandButton(HWND hwnd) : hwnd_(hwnd) {}

CommandButton::~CommandButton() = default;

void CommandButton::Caption(const std::wstring& value) {
    // The window text is the caption; WM_SETTEXT carries it into the logic.
    ::SetWindowTextW(hwnd_, value.c_str());
}

bool CommandButton::Enabled() {
    return logic_.Enabled();
}

void CommandButton::Enabled(bool value) {
    Carry(logic_.Enabled(value));
    ::EnableWindow(hwnd_, value);
}

void CommandButton::TrackLeave() {
    TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd_, 0};
    leaveTracked_ = ::TrackMouseEvent(&track) != FALSE;
}

void CommandButton::Initialize() {
    logic_.Initialize();
}

std::uint8_t CommandButton::Visible() {
    if (!logic_.Opaque())
        return 0;
    Carry(logic_.Redraw());
    return 255;
}

void CommandButton::Visible(std::uint8_t value) {
    logic_.Opaque(value != 0);
    ::ShowWindow(hwnd_, value ? SW_SHOWNA : SW_HIDE);
    if (value)
        Carry(logic_.Redraw());
}

void CommandButton::ReadProperties(const LayoutBlock& block, const std::wstring& ambientFace) {
    ButtonProperties p = ReadButtonProperties(block, ambientFace);
    Enabled(p.enabled);
    Caption(p.caption);
    if (!p.fontFace.empty()) {
        fontFace_ = p.fontFace;
        MakeFont();
    }
    logic_.FirstRun(p.firstRun);
    logic_.FontColour(p.fontColour);
    logic_.Opaque(p.visible != 0);
    ::ShowWindow(hwnd_, p.visible ? SW_SHOWNA : SW_HIDE);
    Carry(logic_.Redraw());
}

void CommandButton::WriteProperties(LayoutBlock& block, const std::wstring& ambientFace) const {
    ButtonProperties p;
    p.enabled = logic_.EnabledValue();
    p.caption = logic_.Caption();
    p.fontFace = fontFace_;
    p.firstRun = logic_.FirstRun();
    p.fontColour = logic_.FontColour();
    p.visible = logic_.Opaque() ? 1 : 0;
    WriteButtonProperties(p, ambientFace, block);
}

void CommandButton::DisplayChanged() {
    MakeFont();
    Carry(logic_.Redraw());
}

int CommandButton::Border() const {
    return TwipsToPixels(60, WindowDpi(hwnd_));
}

void CommandButton::MakeFont() {
    LOGFONTW lf{};
    // 9.75 points at the window's real DPI.
    lf.lfHeight = -::MulDiv(975, static_cast<int>(WindowDpi(hwnd_)), 7200);
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = CLEARTYPE_QUALITY;
    lstrcpynW(lf.lfFaceName, fontFace_.c_str(), LF_FACESIZE);
    if (platform::UniqueFont made(::CreateFontIndirectW(&lf)); made)
        font_ = std::move(made);
}

void CommandButton::Carry(const ButtonReaction& reaction) {
    for (const ButtonPaint& paint : reaction.paints)
        Render(paint);
    if (reaction.click) {
        HWND parent = ::GetParent(hwnd_);
        if (parent)
            ::SendMessageW(parent, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(hwnd_), BN_CLICKED),
                           reinterpret_cast<LPARAM>(hwnd_));
    }
}

void CommandButton::Render(const ButtonPaint& paint) {
    lastPaint_ = paint;
    // A button nobody sees yet is drawn when it is first painted: while the
    // window is built, its caption, state and size would each draw it again.
    if (!::IsWindowVisible(hwnd_)) {
        stale_ = true;
        return;
    }
    Draw();
    ::InvalidateRect(hwnd_, nullptr, FALSE);
    ::UpdateWindow(hwnd_);
}

void CommandButton::Draw() {
    const ButtonPaint& paint = lastPaint_;
    stale_ = false;
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    const int w = client.right, h = client.bottom;
    if (w <= 0 || h <= 0)
        return;
    if (!memDc_) {
        const platform::WindowDc screen(hwnd_);
        memDc_.reset(::CreateCompatibleDC(screen.get()));
        if (!memDc_)
            return;
    }
    if (memSize_.cx != w || memSize_.cy != h || !memBitmap_) {
        platform::UniqueBitmap made;
        {
            const platform::WindowDc screen(hwnd_);
            made.reset(::CreateCompatibleBitmap(screen.get(), w, h));
        }
        if (!made)
            return;
        // The bitmap it replaces is out of the DC before it goes.
        memSelected_.Select(memDc_.get(), made.get());
        memBitmap_ = std::move(made);
        memSize_ = {w, h};
    }
    if (DrawWithSystemColours()) {
        DrawInSystemColours(client);
        return;
    }
    const HDC memDc = memDc_.get();
    ::FillRect(memDc, &client, ::GetSysColorBrush(COLOR_BTNFACE));

    auto colours = GradientColours(paint.gradientInverted);
    TRIVERTEX v[2] = {Vertex(0, 0, colours[0]), Vertex(w - 1, h - 1, colours[1])};
    GRADIENT_RECT gr{0, 1};
    ::GradientFill(memDc, v, 2, &gr, 1, GRADIENT_FILL_RECT_V);

    const int border = Border();
    if (HBITMAP picture = Picture(paint.picture)) {
        const platform::UniqueMemoryDc source(::CreateCompatibleDC(memDc));
        const HDC src = source.get();
        const platform::SelectedObject chosen(src, picture);
        ::SetStretchBltMode(memDc, COLORONCOLOR);
        for (const FramePiece& piece : FramePieces(w, h, border)) {
            const PixelRect& s = piece.source;
            const PixelRect& d = piece.destination;
            if (s.width == d.width && s.height == d.height)
                ::BitBlt(memDc, d.x, d.y, d.width, d.height, src, s.x, s.y, SRCCOPY);
            else
                ::StretchBlt(memDc, d.x, d.y, d.width, d.height, src, s.x, s.y, s.width, s.height,
                             SRCCOPY);
        }
    }

    DrawCaption(client, static_cast<COLORREF>(paint.textColour));
}

void CommandButton::DrawCaption(const RECT& client, COLORREF colour) {
    if (!font_)
        MakeFont();
    const HDC memDc = memDc_.get();
    const platform::SelectedObject chosenFont(memDc, font_.get());
    ::SetBkMode(memDc, TRANSPARENT);
    ::SetTextColor(memDc, colour);
    const int border = Border();
    const int w = client.right, h = client.bottom;
    const std::wstring& caption = logic_.Caption();
    RECT r;
    ::SetRect(&r, border, 0, w - border, h);
    int textHeight =
        ::DrawTextW(memDc, caption.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_CENTER);
    const int textWidth = r.right - r.left;
    auto cr = CaptionRect(w, h, textHeight, border);
    ::SetRect(&r, cr[0], cr[1], cr[2], cr[3]);
    UINT format = DT_WORDBREAK | DT_CENTER;
    if (shield_) {
        // The shield stands before the caption, and the two are centred
        // together; the caption keeps to one line where the two fit.
        const int size = ShieldSize(WindowDpi(hwnd_));
        const int gap = size / 8 > 2 ? size / 8 : 2;
        RECT line{0, 0, 0, 0};
        ::DrawTextW(memDc, caption.c_str(), -1, &line, DT_CALCRECT | DT_SINGLELINE);
        const int lineWidth = line.right - line.left;
        int textLeft = 0;
        // Half of each side's border may go to them before the caption wraps.
        if (lineWidth + size + gap <= w - border) {
            textLeft = (w - lineWidth + size + gap) / 2;
            r.left = textLeft;
            r.right = textLeft + lineWidth;
            format = DT_SINGLELINE | DT_LEFT;
        } else {
            r.left += size + gap;
            textLeft = r.left + (r.right - r.left - textWidth) / 2;
        }
        DrawShield(memDc, textLeft - size - gap, (h - size) / 2, size);
    }
    ::DrawTextW(memDc, caption.c_str(), -1, &r, format);
}

void CommandButton::Shield(bool value) {
    if (shield_ == value)
        return;
    shield_ = value;
    Carry(logic_.Redraw());
}

void CommandButton::OnPaint() {
    const platform::PaintScope paint(hwnd_);
    const HDC dc = paint.get();
    if (!dc)
        return;
    if (stale_)
        Draw();
    if (memDc_)
        ::BitBlt(dc, 0, 0, memSize_.cx, memSize_.cy, memDc_.get(), 0, 0, SRCCOPY);
    if (lastPaint_.focusRect) {
        RECT client{};
        ::GetClientRect(hwnd_, &client);
        const platform::UniquePen pen(::CreatePen(
            PS_DOT, 1, DrawWithSystemColours() ? ::GetSysColor(COLOR_BTNTEXT) : RGB(0, 60, 116)));
        const platform::SelectedObject chosenPen(dc, pen.get());
        ::SetBkMode(dc, TRANSPARENT);
        for (const Line& line : FocusLines(client.right, client.bottom, Border())) {
            ::MoveToEx(dc, line.x1, line.y1, nullptr);
            ::LineTo(dc, line.x2, line.y2);
        }
    }
}

LRESULT CommandButton::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    const bool left = msg == WM_LBUTTONDOWN || msg == WM_LBUTTONUP;
    switch (msg) {
    case WM_CREATE: {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        MakeFont();
        Carry(logic_.Caption(cs->lpszName ? cs->lpszName : L""));
        return 0;
    }
    case WM_SETTEXT: {
        LRESULT r = ::DefWindowProcW(hwnd_, msg, wp, lp);
        Carry(logic_.Caption(lp ? reinterpret_cast<const wchar_t*>(lp) : L""));
        // Enable becomes Disable: a screen reader says the new name.
        ::NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, hwnd_, OBJID_CLIENT, CHILDID_SELF);
        return r;
    }
    case WM_GETOBJECT:
        return AnswerGetObject(wp, lp);
    case WM_SIZE:
        Carry(logic_.Redraw());
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(font_.get());
    case WM_SETFONT:
        return 0; // the button keeps its own font; the stored face decides it
    case WM_GETDLGCODE: {
        // A button to the dialog manager: it sends BM_CLICK for the access
        // key. Enter comes to the button itself, which presses it.
        const MSG* key = reinterpret_cast<const MSG*>(lp);
        if (key && key->message == WM_KEYDOWN && key->wParam == VK_RETURN)
            return DLGC_BUTTON | DLGC_WANTMESSAGE;
        return DLGC_BUTTON;
    }
    case WM_ENABLE:
        if ((wp != 0) != logic_.EnabledValue())
            Carry(logic_.Enabled(wp != 0));
        ::NotifyWinEvent(EVENT_OBJECT_STATECHANGE, hwnd_, OBJID_CLIENT, CHILDID_SELF);
        return 0;
    case WM_MOUSELEAVE: {
        // The system tells once when the cursor leaves; nothing wakes the
        // button while the mouse is still.
        leaveTracked_ = false;
        POINT pt{};
        if (::GetCursorPos(&pt))
            Carry(logic_.HoverCheck(::WindowFromPoint(pt) == hwnd_));
        return 0;
    }
    case WM_MOUSEMOVE: {
        if (!leaveTracked_)
            TrackLeave();
        // While captured the button hears moves outside it: those end the
        // hover as leaving does.
        RECT client{};
        ::GetClientRect(hwnd_, &client);
        if (::PtInRect(&client, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}))
            Carry(logic_.MouseMove());
        else
            Carry(logic_.HoverCheck(false));
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        if (logic_.EnabledValue() && ::GetFocus() != hwnd_)
            ::SetFocus(hwnd_);
        ::SetCapture(hwnd_);
        Carry(logic_.MouseButtonDown(left));
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
        if (::GetCapture() == hwnd_) {
            ::ReleaseCapture();
            // A capture may have ended the watch; the system tells at once
            // when the cursor is already elsewhere.
            TrackLeave();
        }
        Carry(logic_.MouseButtonUp(left));
        return 0;
    case WM_SETFOCUS:
        if (!settingFocusForKey_)
            Carry(logic_.FocusGained());
        return 0;
    case WM_KILLFOCUS:
        Carry(logic_.FocusLost());
        return 0;
    case WM_KEYUP:
        // Space and Enter press the focused button as its access key would:
        // the "..." and Enable buttons carry no access key, and keyboard
        // users need them.
        if (wp == VK_SPACE && logic_.EnabledValue())
            Carry(logic_.AccessKeyPressed());
        return 0;
    case WM_KEYDOWN:
        // Bit 30: the key was already down; a held Enter presses once.
        if (wp == VK_RETURN && !(lp & (1 << 30)) && logic_.EnabledValue())
            Carry(logic_.AccessKeyPressed());
        return 0;
    case BM_CLICK:
        if (logic_.EnabledValue()) {
            settingFocusForKey_ = true;
            ::SetFocus(hwnd_);
            settingFocusForKey_ = false;
            Carry(logic_.AccessKeyPressed());
        }
        return 0;
    default:
        return ::DefWindowProcW(hwnd_, msg, wp, lp);
    }
}

} // namespace calvorn::ui
