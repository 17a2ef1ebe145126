// The Command button, the text window and the tab strip's frame as real
// windows, in this process.

#include "app/startup_helpers.h"
#include "ui/command_button.h"
#include "support/accessible_reader.h"
#include "support/system_scheme.h"
#include "ui/form_builder.h"
#include "ui/cell_text_window.h"
#include "ui/window.h"
#include "ui/list_view_grid.h"
#include "ui/tab_strip_frame.h"

#include <oleacc.h>

#include <commctrl.h>
#include <uxtheme.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

using namespace calvorn::ui;
using namespace calvorn::test;

namespace {

std::vector<std::pair<int, int>> g_commands; // id, notification code

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COMMAND)
        g_commands.push_back({LOWORD(wp), HIWORD(wp)});
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

class CommandWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        static ATOM atom = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = HostProc;
            wc.hInstance = ::GetModuleHandleW(nullptr);
            wc.lpszClassName = L"CalvornTestHost";
            return ::RegisterClassW(&wc);
        }();
        ASSERT_NE(atom, 0);
        host_ = ::CreateWindowExW(0, L"CalvornTestHost", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 400,
                                  200, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(host_, nullptr);
        hwnd_ = CreateCommand(host_, 42, L"&Go", 10, 10, 105, 28);
        button_ = CommandButton::From(hwnd_);
        ASSERT_NE(button_, nullptr);
        g_commands.clear();
    }
    void TearDown() override { ::DestroyWindow(host_); }

    std::wstring Text() const {
        wchar_t text[256] = {};
        ::GetWindowTextW(hwnd_, text, 256);
        return text;
    }
    int Clicks() const {
        int n = 0;
        for (auto [id, code] : g_commands)
            n += id == 42 && code == BN_CLICKED;
        return n;
    }

    HWND host_ = nullptr;
    HWND hwnd_ = nullptr;
    CommandButton* button_ = nullptr;
};

} // namespace

TEST_F(CommandWindow, WindowTextIsTheCaptionBothWays) {
    EXPECT_EQ(Text(), L"&Go");
    EXPECT_EQ(button_->Caption(), L"&Go");
    button_->Caption(L"Disable");
    EXPECT_EQ(Text(), L"Disable");
    ::SetWindowTextW(hwnd_, L"&Enable");
    EXPECT_EQ(button_->Caption(), L"&Enable");
    EXPECT_EQ(button_->Logic().AccessKey(), L'E');
}

TEST_F(CommandWindow, MouseClickAndAccessKeyReachTheParent) {
    RECT r{};
    ::GetWindowRect(hwnd_, &r);
    ::SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ::SendMessageW(hwnd_, WM_MOUSEMOVE, 0, MAKELPARAM(20, 10));
    ::SendMessageW(hwnd_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 10));
    EXPECT_EQ(button_->LastPaint().picture, ButtonPicture::Pressed);
    EXPECT_EQ(::GetFocus(), hwnd_);
    ::SendMessageW(hwnd_, WM_LBUTTONUP, 0, MAKELPARAM(20, 10));
    EXPECT_EQ(Clicks(), 1);
    EXPECT_EQ(button_->LastPaint().picture, ButtonPicture::HighLightSelect);

    ::SendMessageW(hwnd_, BM_CLICK, 0, 0);
    EXPECT_EQ(Clicks(), 2);
    // Space presses the focused button; Enter stays the dialog manager's.
    ::SendMessageW(hwnd_, WM_KEYDOWN, VK_SPACE, 0);
    ::SendMessageW(hwnd_, WM_KEYUP, VK_SPACE, 0);
    EXPECT_EQ(Clicks(), 3);
    ::SendMessageW(hwnd_, WM_KEYUP, VK_RETURN, 0);
    EXPECT_EQ(Clicks(), 3);
    EXPECT_EQ(::SendMessageW(hwnd_, WM_GETDLGCODE, 0, 0), DLGC_BUTTON);
}

TEST_F(CommandWindow, TheHoverLookEndsWhenTheCursorLeavesWithoutATimer) {
    button_->Initialize();
    // The host is hidden: the cursor is over no part of the button.
    ::SendMessageW(hwnd_, WM_MOUSEMOVE, 0, MAKELPARAM(20, 10));
    EXPECT_EQ(button_->LastPaint().picture, ButtonPicture::HighLight);
    ::SendMessageW(hwnd_, WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(button_->LastPaint().picture, ButtonPicture::Normal);
    EXPECT_EQ(button_->Logic().State(), ButtonState::Normal);
    // A captured move outside the button ends the hover as leaving does.
    ::SendMessageW(hwnd_, WM_MOUSEMOVE, 0, MAKELPARAM(20, 10));
    ::SendMessageW(hwnd_, WM_MOUSEMOVE, 0, MAKELPARAM(-5, 10));
    EXPECT_EQ(button_->LastPaint().picture, ButtonPicture::Normal);
    // Nothing polls: the button keeps no timer of its own.
    EXPECT_FALSE(::KillTimer(hwnd_, 1));
}

TEST_F(CommandWindow, DisabledButtonRaisesNothing) {
    button_->Enabled(false);
    EXPECT_FALSE(::IsWindowEnabled(hwnd_));
    EXPECT_EQ(button_->LastPaint().picture, ButtonPicture::Disable);
    EXPECT_EQ(button_->LastPaint().textColour, kCaptionGrey);
    ::SendMessageW(hwnd_, BM_CLICK, 0, 0);
    ::SendMessageW(hwnd_, WM_LBUTTONUP, 0, 0);
    EXPECT_EQ(Clicks(), 0);
    button_->Enabled(true);
    EXPECT_EQ(button_->LastPaint().picture, ButtonPicture::Normal);
}

TEST_F(CommandWindow, VisibleHidesAndShowsThePaintedButton) {
    button_->Visible(0);
    EXPECT_FALSE(::IsWindowVisible(hwnd_));
    EXPECT_EQ(button_->Visible(), 0);
    button_->Visible(7);
    EXPECT_TRUE(::GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(button_->Visible(), 255);
}

TEST_F(CommandWindow, AButtonMadeUnseenLooksAtItsFirstPaintAsOneMadeInSight) {
    // hwnd_ was made and disabled while its window was hidden; `seen` is
    // made and disabled while it shows.
    button_->Enabled(false);
    ::ShowWindow(host_, SW_SHOWNA);
    HWND seen = CreateCommand(host_, 43, L"&Go", 200, 10, 105, 28);
    CommandButton::From(seen)->Enabled(false);
    ::UpdateWindow(host_);
    auto pixels = [](HWND button) {
        std::vector<COLORREF> out;
        HDC dc = ::GetDC(button);
        for (POINT at : {POINT{2, 2}, POINT{52, 14}, POINT{30, 24}, POINT{100, 5}})
            out.push_back(::GetPixel(dc, at.x, at.y));
        ::ReleaseDC(button, dc);
        return out;
    };
    EXPECT_EQ(pixels(hwnd_), pixels(seen));
    EXPECT_EQ(button_->LastPaint().picture, ButtonPicture::Disable);
}

TEST_F(CommandWindow, TheShieldStandsBeforeTheCaptionAndGoesWhenAskedTo) {
    ::ShowWindow(host_, SW_SHOWNA);
    ::UpdateWindow(host_);
    // Every third pixel of the button's left and right halves.
    auto halves = [this] {
        std::pair<std::vector<COLORREF>, std::vector<COLORREF>> out;
        HDC dc = ::GetDC(hwnd_);
        for (int y = 2; y < 26; y += 3)
            for (int x = 2; x < 103; x += 3)
                (x < 52 ? out.first : out.second).push_back(::GetPixel(dc, x, y));
        ::ReleaseDC(hwnd_, dc);
        return out;
    };
    const auto plain = halves();
    button_->Shield(true);
    EXPECT_TRUE(button_->Shield());
    const auto shielded = halves();
    EXPECT_NE(shielded.first, plain.first);
    button_->Shield(false);
    EXPECT_EQ(halves(), plain);
    // A caption too long for the shield beside it on one line wraps, and
    // still gets it.
    button_->Caption(L"A caption that is much too long for one line");
    const auto longPlain = halves();
    button_->Shield(true);
    EXPECT_NE(halves().first, longPlain.first);
}

TEST_F(CommandWindow, StoredPropertiesAreAppliedAndWrittenBack) {
    LayoutBlock stored{L"Command", L"cmdGo", {}};
    stored.SetNumber(L"Enabled", 0);
    stored.SetText(L"Caption", L"&Stored");
    stored.SetText(L"Font", L"Tahoma");
    button_->ReadProperties(stored, L"Arial");
    EXPECT_EQ(Text(), L"&Stored");
    EXPECT_FALSE(::IsWindowEnabled(hwnd_));
    LayoutBlock written{L"Command", L"cmdGo", {}};
    button_->WriteProperties(written, L"Arial");
    EXPECT_EQ(WriteLayout({written}), WriteLayout({stored}));
}

TEST_F(CommandWindow, InitButtonsVisitsOnlyCommandButtons) {
    HWND second = CreateCommand(host_, 43, L"Two", 10, 50, 105, 28);
    HWND edit = ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 10, 90, 100, 20, host_,
                                  nullptr, ::GetModuleHandleW(nullptr), nullptr);
    calvorn::app::InitButtons(host_, false, false);
    EXPECT_FALSE(::IsWindowEnabled(hwnd_));
    EXPECT_FALSE(::IsWindowEnabled(second));
    EXPECT_TRUE(::IsWindowEnabled(edit));
    calvorn::app::InitButtons(host_, true, true);
    EXPECT_TRUE(CommandButton::From(second)->Logic().HoverWatched());
    EXPECT_FALSE(::IsWindowEnabled(second)); // initialising does not enable
}

TEST(TextWindow, TextBoxFillsTheClientAreaAndTextIsReplaced) {
    CellTextWindow& display = DisplayWindow();
    ASSERT_TRUE(display.Load(nullptr));
    wchar_t caption[64] = {};
    ::GetWindowTextW(display.Hwnd(), caption, 64);
    EXPECT_STREQ(caption, L" Copy Selected");
    display.Text(L"first\r\nline two");
    display.Text(L"second");
    EXPECT_EQ(display.Text(), L"second");
    HWND box = ::GetDlgItem(display.Hwnd(), IDC_CELL_TEXT);
    for (SIZE size : {SIZE{420, 300}, SIZE{60, 50}}) {
        ::SetWindowPos(display.Hwnd(), nullptr, 0, 0, size.cx, size.cy,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        RECT client{}, boxRect{};
        ::GetClientRect(display.Hwnd(), &client);
        ::GetWindowRect(box, &boxRect);
        ::MapWindowPoints(nullptr, display.Hwnd(), reinterpret_cast<POINT*>(&boxRect), 2);
        EXPECT_EQ(boxRect.left, 0);
        EXPECT_EQ(boxRect.top, 0);
        EXPECT_EQ(boxRect.right, client.right);
        EXPECT_EQ(boxRect.bottom, client.bottom);
    }
    display.Unload();
    EXPECT_EQ(display.Hwnd(), nullptr);
}

namespace {

// A 32-bit picture of `size`, drawn by `paint` over a background no frame has.
std::vector<DWORD> Drawn(SIZE size, const std::function<void(HDC)>& paint) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, size.cx, -size.cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC dc = ::CreateCompatibleDC(nullptr);
    HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    HBRUSH magenta = ::CreateSolidBrush(RGB(255, 0, 255));
    const RECT all{0, 0, size.cx, size.cy};
    ::FillRect(dc, &all, magenta);
    paint(dc);
    ::GdiFlush();
    const auto* p = static_cast<const DWORD*>(bits);
    std::vector<DWORD> pixels(p, p + size.cx * size.cy);
    ::DeleteObject(magenta);
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    return pixels;
}

bool Alike(DWORD a, DWORD b) {
    for (int shift : {0, 8, 16})
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) -
                     static_cast<int>((b >> shift) & 0xFF)) > 3)
            return false;
    return true;
}

} // namespace

TEST(TabStripFrameWindow, CutsTheControlToItsTabsAndDrawsTheRestAsTheStyleDoes) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES};
    ::InitCommonControlsEx(&icc);
    HWND host = ::CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 500, 400,
                                  nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    HWND tabs = ::CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE, 10, 10, 300, 200,
                                  host, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(L"Register");
    TabCtrl_InsertItem(tabs, 0, &item);
    std::unique_ptr<TabStripFrame> frame = TabStripFrame::Attach(tabs);
    if (!frame) {
        ::DestroyWindow(host);
        GTEST_SKIP() << "no visual style: the control draws its whole frame";
    }
    const RECT whole{10, 10, 310, 210};
    frame->Place(whole);
    RECT placed{};
    ::GetWindowRect(tabs, &placed);
    EXPECT_LT(placed.bottom - placed.top, 100);
    EXPECT_EQ(placed.right - placed.left, 300);

    // Below the top of the frame, every pixel is the style's own, within a
    // shade: the style stretches a bottom edge whose ends shade by a level or
    // two over a few pixels, which the frame draws plain.
    const SIZE size{300, 200};
    const int top = 40;
    const auto style = Drawn(size, [&](HDC dc) {
        TabStripFrame::PaintWhole(tabs, dc, {0, 0, size.cx, size.cy});
    });
    const auto ours =
        Drawn(size, [&](HDC dc) { frame->PaintSidesAndBottom(dc, 0, top, size.cx, size.cy); });
    int differing = 0;
    for (int y = top; y < size.cy; ++y)
        for (int x = 0; x < size.cx; ++x)
            differing += !Alike(style[y * size.cx + x], ours[y * size.cx + x]);
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(ours[0], 0x00FF00FFu) << "nothing is drawn above the given top";
    ::DestroyWindow(host);
}

TEST_F(CommandWindow, AssistiveToolsSeeAPushButtonNamedByItsCaption) {
    ComApartment com;
    struct Case {
        const wchar_t* caption;
        const wchar_t* givenName;
        const wchar_t* name;
        const wchar_t* shortcut;
    };
    for (const Case& c :
         {Case{L"&Go", L"", L"Go", L"Alt+G"}, Case{L"&Browse...", L"", L"Browse...", L"Alt+B"},
          Case{L"Fish && Chips", L"", L"Fish & Chips", L""},
          Case{L"...", L"Choose first file", L"Choose first file", L""}}) {
        button_->Caption(c.caption);
        button_->AccessibleName(c.givenName);
        auto facts = ReadAccessible(hwnd_);
        ASSERT_TRUE(facts) << "no accessible object for " << Text().size() << " chars";
        EXPECT_EQ(facts->role, ROLE_SYSTEM_PUSHBUTTON);
        EXPECT_EQ(facts->name, c.name);
        EXPECT_EQ(facts->shortcut, c.shortcut);
        EXPECT_EQ(facts->defaultAction, L"Press");
        EXPECT_TRUE(facts->state & STATE_SYSTEM_FOCUSABLE);
        EXPECT_FALSE(facts->state & STATE_SYSTEM_UNAVAILABLE);
    }
}

TEST_F(CommandWindow, ItsDefaultActionPressesItUnlessItIsDisabled) {
    ComApartment com;
    button_->Enabled(false);
    EXPECT_TRUE(ReadAccessible(hwnd_)->state & STATE_SYSTEM_UNAVAILABLE);
    EXPECT_TRUE(FAILED(DoDefaultAction(hwnd_)));
    button_->Enabled(true);
    EXPECT_EQ(DoDefaultAction(hwnd_), S_OK);
    // Posted, so that the tool asking does not wait for what the press opens.
    EXPECT_EQ(Clicks(), 0);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        ::DispatchMessageW(&msg);
    EXPECT_EQ(Clicks(), 1);
    ::SetFocus(hwnd_);
    EXPECT_TRUE(ReadAccessible(hwnd_)->state & STATE_SYSTEM_FOCUSED);
}

TEST_F(CommandWindow, UnderADarkSchemeTheButtonIsDrawnInTheSchemesColours) {
    ScopedSystemColours dark(DarkHighContrastColours());
    ::ShowWindow(host_, SW_SHOWNA);
    button_->DisplayChanged();
    ::UpdateWindow(hwnd_);
    HDC dc = ::GetDC(hwnd_);
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    // The face (a light gradient before), and the caption in the scheme's text.
    EXPECT_EQ(::GetPixel(dc, client.right / 2, 3), RGB(0, 0, 0));
    int white = 0;
    for (int y = 0; y < client.bottom; ++y)
        for (int x = 8; x < client.right - 8; ++x)
            white += ::GetPixel(dc, x, y) == RGB(255, 255, 255);
    EXPECT_GT(white, 10);
    ::ReleaseDC(hwnd_, dc);
}

namespace {

class GridWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
        ::InitCommonControlsEx(&icc);
        host_ = ::CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                  400, 300, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(grid_.Create(host_, 7));
        ::MoveWindow(grid_.Hwnd(), 0, 0, 380, 250, TRUE);
        grid_.Cols(2);
        grid_.Rows(3);
    }
    void TearDown() override { ::DestroyWindow(host_); }

    int Next(UINT flags) const { return ListView_GetNextItem(grid_.Hwnd(), -1, flags); }

    HWND host_ = nullptr;
    ListViewGrid grid_;
};

} // namespace

TEST_F(GridWindow, AGridThatGetsTheFocusShowsAFocusedRowAndSelectsNone) {
    ::SetFocus(grid_.Hwnd());
    EXPECT_EQ(Next(LVNI_FOCUSED), 0);
    EXPECT_EQ(Next(LVNI_SELECTED), -1);
    // A row focused before keeps the mark.
    ::SetFocus(host_);
    ListView_SetItemState(grid_.Hwnd(), 2, LVIS_FOCUSED, LVIS_FOCUSED);
    ::SetFocus(grid_.Hwnd());
    EXPECT_EQ(Next(LVNI_FOCUSED), 2);
}

TEST_F(GridWindow, AHeadingBandStaysVisibleInADarkScheme) {
    grid_.Row(0);
    grid_.Col(0);
    grid_.CellBackColor(kDesktopColor);
    grid_.CellForeColor(0xFFFFFFu);
    struct Case {
        COLORREF face, desktop, window, text;
        COLORREF back, fore; // the band as painted
    };
    const COLORREF black = RGB(0, 0, 0), white = RGB(255, 255, 255), navy = RGB(0, 0, 128);
    const COLORREF grey = RGB(240, 240, 240), teal = RGB(0, 128, 128);
    for (const Case& c : {// A dark scheme: the black band on black rows is inverted ...
                          Case{black, black, black, white, white, black},
                          // ... so is a navy one, hardly less dark; a teal one
                          // stands out as it is.
                          Case{black, navy, black, white, white, black},
                          Case{black, teal, black, white, teal, white},
                          // A light scheme keeps even a white band, with black text.
                          Case{grey, white, white, black, white, black},
                          Case{grey, navy, white, black, navy, white}}) {
        ScopedSystemColours scheme({{COLOR_BTNFACE, c.face},
                                    {COLOR_BACKGROUND, c.desktop},
                                    {COLOR_WINDOW, c.window},
                                    {COLOR_WINDOWTEXT, c.text}});
        const ListViewGrid::Paint paint = grid_.PaintOf(0, 0);
        EXPECT_EQ(paint.back, c.back) << std::hex << c.desktop << " on " << c.window;
        EXPECT_EQ(paint.fore, c.fore) << std::hex << c.desktop << " on " << c.window;
    }
}

TEST(FormColours, ASchemeTurningDarkTakesTheStyleFromFramesAndTheLightOneGivesItBack) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    HWND host = ::CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                  500, 300, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    FormSource source;
    source.window = host;
    source.layout = ParseLayout(L"Begin Frame fra\n   Caption = \"Frame\"\n   Left = 120\n"
                                L"   Top = 120\n   Width = 4000\n   Height = 1500\nEnd\n"
                                L"Begin Command cmd\n   Container = \"fra\"\n   Left = 200\n"
                                L"   Top = 400\n   Width = 1400\n   Height = 420\nEnd\n");
    const OwnedFormFonts fonts{UiFont(96), UiFont(96)};
    source.fonts = fonts.Lent();
    source.idOf = [](const std::wstring& name) { return name == L"fra" ? 1 : 2; };
    BuiltForm form = BuildForm(std::move(source), 0);
    HWND frame = form.Hwnd(L"fra");
    HWND command = form.Hwnd(L"cmd");
    ASSERT_NE(frame, nullptr);
    ASSERT_NE(command, nullptr);
    const bool styled = ::GetWindowTheme(frame) != nullptr;
    {
        ScopedSystemColours dark(DarkHighContrastColours());
        FollowSystemColours(form);
        EXPECT_TRUE(form.systemColours);
        EXPECT_EQ(::GetWindowTheme(frame), nullptr);
        ::UpdateWindow(command);
        HDC dc = ::GetDC(command);
        EXPECT_EQ(::GetPixel(dc, 40, 3), RGB(0, 0, 0)) << "the button kept its light face";
        ::ReleaseDC(command, dc);
    }
    FollowSystemColours(form);
    EXPECT_FALSE(form.systemColours);
    EXPECT_EQ(::GetWindowTheme(frame) != nullptr, styled);
    ::DestroyWindow(host);
}
