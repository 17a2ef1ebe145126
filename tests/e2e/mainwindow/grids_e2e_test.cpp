// The two file buttons of the comparison tab and the double-click on a grid
// cell, through the real window.

#include "main_window_driver.h"
#include "support/list_view_reader.h"
#include "ui/frmDisplay.h"

#include <gtest/gtest.h>

using namespace calvorn::test;
using namespace calvorn::ui;
using namespace std::chrono_literals;

namespace {

bool ChooseWith(MainWindowRun& w, int buttonId, const std::wstring& path) {
    PressCommand(w.Control(buttonId));
    HWND dialog = WaitForDialog(w.run, L"Open");
    return dialog && ChooseInOpenDialog(dialog, path);
}

// Double-clicks a cell and returns the text the text window shows, then
// closes that window.
std::wstring ShownOnDoubleClick(MainWindowRun& w, HWND grid, int row, int col) {
    if (!DoubleClickCell(grid, row, col))
        return L"<no cell>";
    HWND display = w.run.WaitForWindow(L"Calvorn.frmDisplay", 20s);
    if (!display)
        return L"<no window>";
    std::wstring caption = WindowText(display);
    std::wstring text = WindowText(FindControl(display, IDC_TXTINFO));
    // Modal: the main window takes no input meanwhile.
    bool mainBlocked = !::IsWindowEnabled(w.main);
    ::PostMessageW(display, WM_CLOSE, 0, 0);
    WaitUntil([&] { return !::IsWindowVisible(display); });
    if (caption != L" Copy Selected" || !mainBlocked)
        return L"<wrong window>";
    return text;
}

} // namespace

TEST(Grids, TwoFilesChosenWithTheDialogAreCompared) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    SelectTab(w.main, 1);
    HWND grid = w.Control(IDC_GRIDCOMPARISON);
    ASSERT_TRUE(ChooseWith(w, IDC_CMDSELECTONE, FixturePath(L"tl_alpha.dll")));
    ASSERT_TRUE(WaitUntil([&] { return !w.Text(IDC_TXTFIRSTFILE).empty(); }));
    EXPECT_EQ(w.Text(IDC_TXTFIRSTFILE), FixturePath(L"tl_alpha.dll"));
    // One file alone runs no comparison.
    EXPECT_TRUE(ReadListViewRows(grid).empty());
    ASSERT_TRUE(ChooseWith(w, IDC_CMDSELECTTWO, FixturePath(L"tl_alpha2.dll")));
    ASSERT_TRUE(WaitUntil([&] { return ReadListViewRows(grid).size() > 2; }));
    EXPECT_EQ(w.Text(IDC_TXTSECONDFILE), FixturePath(L"tl_alpha2.dll"));
    auto rows = ReadListViewRows(grid);
    EXPECT_EQ(rows[0][0], L"Comparison Result");
    EXPECT_EQ(rows[1][0], L"The Files Are Diferent!");

    EXPECT_EQ(ShownOnDoubleClick(w, grid, 1, 0), L"The Files Are Diferent!");
    // A value cell: the text window shows the value, not its label.
    int row = 2;
    while (row < static_cast<int>(rows.size()) && rows[row][1].empty())
        ++row;
    ASSERT_LT(row, static_cast<int>(rows.size()));
    EXPECT_EQ(ShownOnDoubleClick(w, grid, row, 1), rows[row][1]);
}

TEST(Grids, DoubleClickShowsExactlyTheCellUnderTheMouse) {
    const std::wstring path = FixturePath(L"tl_none.dll");
    MainWindowRun w(L"\"" + path + L"\"");
    ASSERT_NE(w.main, nullptr);
    HWND grid = w.Control(IDC_GRIDINFO);
    auto rows = ReadListViewRows(grid);
    ASSERT_GT(rows.size(), 3u);
    EXPECT_EQ(ShownOnDoubleClick(w, grid, 1, 0), rows[1][0]);
    // A second cell after closing: its text only, not appended.
    EXPECT_EQ(ShownOnDoubleClick(w, grid, 2, 0), rows[2][0]);
    EXPECT_TRUE(::IsWindowEnabled(w.main));
}
