// The main window under a dark high-contrast scheme, read off the screen as
// the user sees it: frame captions, buttons, the tab strip and the report's
// heading bands all in the scheme's colours.

#include "main_window_driver.h"
#include "support/system_scheme.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>

using namespace calvorn::test;
using namespace calvorn::ui;

namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);

bool Light(COLORREF c) {
    return GetRValue(c) > 128 && GetGValue(c) > 128 && GetBValue(c) > 128;
}

// The screen's pixels in `r` (screen coordinates) that `which` picks.
int Count(const RECT& r, const std::function<bool(COLORREF)>& which) {
    HDC screen = ::GetDC(nullptr);
    int n = 0;
    for (LONG y = r.top; y < r.bottom; ++y)
        for (LONG x = r.left; x < r.right; ++x)
            n += which(::GetPixel(screen, x, y));
    ::ReleaseDC(nullptr, screen);
    return n;
}

COLORREF PixelAt(POINT at) {
    HDC screen = ::GetDC(nullptr);
    const COLORREF c = ::GetPixel(screen, at.x, at.y);
    ::ReleaseDC(nullptr, screen);
    return c;
}

RECT OnScreen(HWND control) {
    RECT r{};
    ::GetWindowRect(control, &r);
    return r;
}

} // namespace

TEST(MainWindowColours, UnderADarkSchemeEveryPartIsDrawnInItsColours) {
    ScopedSystemColours dark(DarkHighContrastColours());
    ForgetPlacement();
    MainWindowRun w(L"\"" + FixturePath(L"tl_alpha.dll") + L"\"");
    ASSERT_NE(w.main, nullptr);
    HWND grid = w.Control(IDC_REPORT_GRID);
    ASSERT_TRUE(WaitUntil([&] { return ::SendMessageW(grid, LVM_GETITEMCOUNT, 0, 0) > 0; }));

    // Each frame's caption: the scheme's light text where the frame's line
    // leaves room for it (the style's dark text vanished there).
    for (int id : {IDC_FILE_FRAME, IDC_REGISTRATION_FRAME, IDC_REPORT_FRAME}) {
        const RECT frame = OnScreen(w.Control(id));
        const RECT caption{frame.left + 12, frame.top, frame.left + 60, frame.top + 14};
        EXPECT_TRUE(WaitUntil([&] { return Count(caption, Light) >= 15; }))
            << "frame " << id << " shows no caption";
    }
    // The buttons' face is the scheme's, not a light gradient.
    for (int id : {IDC_BROWSE, IDC_REGISTER, IDC_UNREGISTER}) {
        const RECT button = OnScreen(w.Control(id));
        EXPECT_EQ(PixelAt({(button.left + button.right) / 2, button.top + 3}), kBlack)
            << "button " << id;
    }
    // The tabs lie on the dark face, not on the style's light tabs.
    const RECT strip = OnScreen(w.Control(IDC_TABS));
    const RECT tabs{strip.left, strip.top + 2, strip.left + 300, strip.top + 18};
    const int area = (tabs.right - tabs.left) * (tabs.bottom - tabs.top);
    EXPECT_GT(Count(tabs, [](COLORREF c) { return c == kBlack; }), area / 2);
    // The first row is a heading band of the desktop's colour, as black as
    // the rows in this scheme: it is drawn in the rows' colours inverted.
    RECT cell = RemoteCellRect(grid, 0, 0);
    RECT inside{};
    ::GetClientRect(grid, &inside);
    POINT band{inside.right - 10, (cell.top + cell.bottom) / 2};
    ::ClientToScreen(grid, &band);
    EXPECT_EQ(PixelAt(band), kWhite);
    ForgetPlacement();
}
