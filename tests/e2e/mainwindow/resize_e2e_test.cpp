// The main window resized, maximized and opened again where the user left it.

#include "main_window_driver.h"

#include <gtest/gtest.h>

using namespace calvorn::test;
using namespace calvorn::ui;

namespace {

SIZE WindowSize(HWND hwnd) {
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    return {r.right - r.left, r.bottom - r.top};
}

RECT ClientOf(HWND hwnd) {
    RECT r{};
    ::GetClientRect(hwnd, &r);
    return r;
}

void Resize(HWND main, SIZE size) {
    ::SetWindowPos(main, nullptr, 0, 0, size.cx, size.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Every run here starts at the stored layout and leaves no placement behind.
class Resizing : public ::testing::Test {
  protected:
    void SetUp() override { ForgetPlacement(); }
    void TearDown() override { ForgetPlacement(); }
};

} // namespace

TEST_F(Resizing, GridsTextBoxesAndValueColumnGrowWithTheWindow) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    HWND grid = w.Control(IDC_REPORT_GRID);
    const SIZE before = WindowSize(w.main);
    const RECT gridBefore = ClientOf(grid);
    const RECT fileBefore = RectIn(w.Control(IDC_FILE_PATH), w.main);
    const RECT browseBefore = RectIn(w.Control(IDC_BROWSE), w.main);
    const RECT regBefore = RectIn(w.Control(IDC_REGISTER), w.main);
    const int labelColumn = ColumnWidth(grid, 0);
    // The value column reaches the right edge: no empty strip.
    EXPECT_EQ(labelColumn + ColumnWidth(grid, 1), gridBefore.right);

    Resize(w.main, {before.cx + 300, before.cy + 200});
    ASSERT_TRUE(WaitUntil([&] { return ClientOf(grid).right == gridBefore.right + 300; }));
    EXPECT_EQ(ClientOf(grid).bottom, gridBefore.bottom + 200);
    EXPECT_EQ(ColumnWidth(grid, 0), labelColumn);
    EXPECT_EQ(labelColumn + ColumnWidth(grid, 1), gridBefore.right + 300);
    const RECT file = RectIn(w.Control(IDC_FILE_PATH), w.main);
    EXPECT_EQ(file.left, fileBefore.left);
    EXPECT_EQ(file.right, fileBefore.right + 300);
    const RECT browse = RectIn(w.Control(IDC_BROWSE), w.main);
    EXPECT_EQ(browse.left, browseBefore.left + 300);
    EXPECT_EQ(browse.top, browseBefore.top);
    const RECT reg = RectIn(w.Control(IDC_REGISTER), w.main);
    EXPECT_EQ(reg.left, regBefore.left);
    EXPECT_EQ(reg.top, regBefore.top);

    // A tab first shown after the resize is laid out for the size it meets.
    SelectTab(w.main, 1);
    HWND comparison = nullptr;
    ASSERT_TRUE(
        WaitUntil([&] { return (comparison = w.Control(IDC_COMPARISON_GRID)) != nullptr; }));
    EXPECT_EQ(ClientOf(comparison).right, gridBefore.right + 300);
    EXPECT_EQ(ColumnWidth(comparison, 0) + ColumnWidth(comparison, 1), gridBefore.right + 300);
    // "..." keeps to the right edge as Browse does; its text box stretches up to it.
    const RECT dots = RectIn(w.Control(IDC_SELECT_FIRST_FILE), w.main);
    const RECT first = RectIn(w.Control(IDC_FIRST_FILE_PATH), w.main);
    EXPECT_EQ(dots.right, browse.right);
    EXPECT_LT(first.right, dots.left);
    EXPECT_GT(first.right, dots.left - 20);
}

TEST_F(Resizing, MaximizesAndKeepsTheStoredLayoutAsItsSmallestSize) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    const LONG_PTR style = ::GetWindowLongPtrW(w.main, GWL_STYLE);
    EXPECT_TRUE(style & WS_THICKFRAME);
    EXPECT_TRUE(style & WS_MAXIMIZEBOX);
    const SIZE smallest = WindowSize(w.main);
    Resize(w.main, {200, 150});
    ASSERT_TRUE(WaitUntil([&] { return WindowSize(w.main).cx == smallest.cx; }));
    EXPECT_EQ(WindowSize(w.main).cy, smallest.cy);

    HWND grid = w.Control(IDC_REPORT_GRID);
    const int gridWidth = ClientOf(grid).right;
    ::PostMessageW(w.main, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    ASSERT_TRUE(WaitUntil([&] { return ::IsZoomed(w.main) != FALSE; }));
    const int screen = ::GetSystemMetrics(SM_CXSCREEN);
    ASSERT_TRUE(
        WaitUntil([&] { return ClientOf(grid).right > gridWidth + (screen - smallest.cx) / 2; }));
    EXPECT_EQ(ColumnWidth(grid, 0) + ColumnWidth(grid, 1), ClientOf(grid).right);
}

TEST_F(Resizing, SizeAndPlaceAreRememberedAndAPlaceOffEveryMonitorIsIgnored) {
    RECT left{};
    {
        MainWindowRun w;
        ASSERT_NE(w.main, nullptr);
        ::SetWindowPos(w.main, nullptr, 40, 30, WindowSize(w.main).cx + 120,
                       WindowSize(w.main).cy + 80, SWP_NOZORDER | SWP_NOACTIVATE);
        ASSERT_TRUE(WaitUntil([&] {
            RECT r{};
            ::GetWindowRect(w.main, &r);
            return r.left == 40 && r.top == 30;
        }));
        ::GetWindowRect(w.main, &left);
    }
    EXPECT_FALSE(StoredPlacementText().empty());
    {
        MainWindowRun w;
        ASSERT_NE(w.main, nullptr);
        RECT again{};
        ::GetWindowRect(w.main, &again);
        EXPECT_TRUE(::EqualRect(&again, &left))
            << again.left << "," << again.top << " " << again.right << "," << again.bottom;
    }
    {
        // Left maximized: opens maximized.
        MainWindowRun w;
        ASSERT_NE(w.main, nullptr);
        ::PostMessageW(w.main, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
        ASSERT_TRUE(WaitUntil([&] { return ::IsZoomed(w.main) != FALSE; }));
    }
    {
        MainWindowRun w;
        ASSERT_NE(w.main, nullptr);
        EXPECT_TRUE(::IsZoomed(w.main));
    }
    // A monitor that is gone: the size stays, the window comes up on a screen.
    StorePlacementText(L"-30000 -30000 -28900 -29100 0 96");
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    EXPECT_NE(::MonitorFromWindow(w.main, MONITOR_DEFAULTTONULL), nullptr);
    EXPECT_EQ(WindowSize(w.main).cx, 1100);
    EXPECT_EQ(WindowSize(w.main).cy, 900);
    // Text that is no placement is ignored.
    ::PostMessageW(w.main, WM_CLOSE, 0, 0);
    w.run.WaitForExit(std::chrono::seconds(20));
    StorePlacementText(L"garbage 1 2");
    MainWindowRun fresh;
    ASSERT_NE(fresh.main, nullptr);
    EXPECT_LT(WindowSize(fresh.main).cx, 1100);
}
