// The two file buttons of the comparison tab and the double-click on a grid
// cell, through the real window.

#include "main_window_driver.h"
#include "support/list_view_reader.h"
#include "ui/cell_text_window.h"

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
    HWND display = w.run.WaitForWindow(L"Calvorn.CellTextWindow", 20s);
    if (!display)
        return L"<no window>";
    std::wstring caption = WindowText(display);
    std::wstring text = WindowText(FindControl(display, IDC_CELL_TEXT));
    // Modal: the main window takes no input meanwhile.
    bool mainBlocked = !::IsWindowEnabled(w.main);
    // It cannot be minimized, which would leave the main window disabled
    // with nothing on screen to come back by.
    const bool noMinimizeBox = !(::GetWindowLongW(display, GWL_STYLE) & WS_MINIMIZEBOX);
    ::SendMessageW(display, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    const bool stayedOpen = !::IsIconic(display) && ::IsWindowVisible(display);
    ::PostMessageW(display, WM_CLOSE, 0, 0);
    WaitUntil([&] { return !::IsWindowVisible(display); });
    const bool mainFreed = WaitUntil([&] { return ::IsWindowEnabled(w.main) != FALSE; });
    if (caption != L" Copy Selected" || !mainBlocked)
        return L"<wrong window>";
    if (!noMinimizeBox || !stayedOpen || !mainFreed)
        return L"<minimized or main window left disabled>";
    return text;
}

} // namespace

TEST(Grids, TwoFilesChosenWithTheDialogAreCompared) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    SelectTab(w.main, 1);
    HWND grid = w.Control(IDC_COMPARISON_GRID);
    ASSERT_TRUE(ChooseWith(w, IDC_SELECT_FIRST_FILE, FixturePath(L"tl_alpha.dll")));
    ASSERT_TRUE(WaitUntil([&] { return !w.Text(IDC_FIRST_FILE_PATH).empty(); }));
    EXPECT_EQ(w.Text(IDC_FIRST_FILE_PATH), FixturePath(L"tl_alpha.dll"));
    // One file alone runs no comparison.
    EXPECT_TRUE(ReadListViewRows(grid).empty());
    ASSERT_TRUE(ChooseWith(w, IDC_SELECT_SECOND_FILE, FixturePath(L"tl_alpha2.dll")));
    ASSERT_TRUE(WaitUntil([&] { return ReadListViewRows(grid).size() > 2; }));
    EXPECT_EQ(w.Text(IDC_SECOND_FILE_PATH), FixturePath(L"tl_alpha2.dll"));
    auto rows = ReadListViewRows(grid);
    EXPECT_EQ(rows[0][0], L"Comparison Result");
    EXPECT_EQ(rows[1][0], L"The Files Are Diferent!");
    EXPECT_EQ(rows[2][0], L"First File TypeLib Info");
    EXPECT_EQ(rows[2][1], FixturePath(L"tl_alpha.dll"));
    // The files side by side in a third column, the rows that differ marked.
    const auto compared = [&](const std::wstring& label) {
        for (const auto& row : rows)
            if (row.size() == 3 && row[0] == label)
                return row;
        return std::vector<std::wstring>{};
    };
    EXPECT_EQ(compared(L"File:"), (std::vector<std::wstring>{L"File:", FixturePath(L"tl_alpha.dll"),
                                                             FixturePath(L"tl_alpha2.dll")}));
    EXPECT_EQ(compared(L"* SHA-256:").size(), 3u);
    const std::wstring machine = sizeof(void*) == 8 ? L"x64" : L"x86";
    EXPECT_EQ(compared(L"Machine:"), (std::vector<std::wstring>{L"Machine:", machine, machine}));

    EXPECT_EQ(ShownOnDoubleClick(w, grid, 1, 0), L"The Files Are Diferent!");
    // A value cell: the text window shows the value, not its label.
    int row = 2;
    while (row < static_cast<int>(rows.size()) && rows[row][1].empty())
        ++row;
    ASSERT_LT(row, static_cast<int>(rows.size()));
    EXPECT_EQ(ShownOnDoubleClick(w, grid, row, 1), rows[row][1]);
}

namespace {

// The value of the row whose label is `label`; "<none>" when there is none.
std::wstring ValueOf(const std::vector<std::vector<std::wstring>>& rows,
                     const std::wstring& label) {
    for (const auto& row : rows)
        if (row.size() > 1 && row[0] == label)
            return row[1];
    return L"<none>";
}

// Enter in a box of the comparison tab, as the keyboard sends it.
void EnterIn(MainWindowRun& w, int box) {
    ASSERT_TRUE(FocusByClick(w.main, w.Control(box)));
    ::PostMessageW(w.Control(box), WM_KEYDOWN, VK_RETURN, 0);
    ::PostMessageW(w.Control(box), WM_KEYUP, VK_RETURN, 0);
}

} // namespace

TEST(Grids, TheComparisonFollowsWhatTheBoxesHoldTypedOrPicked) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    SelectTab(w.main, 1);
    HWND grid = w.Control(IDC_COMPARISON_GRID);
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(grid); }));
    const std::wstring alpha = FixturePath(L"tl_alpha.dll");
    const std::wstring alpha2 = FixturePath(L"tl_alpha2.dll");
    const std::wstring ten = FixturePath(L"tl_ten.dll");
    auto headingsAre = [&](const std::wstring& first, const std::wstring& second) {
        return WaitUntil([&] {
            auto rows = ReadListViewRows(grid);
            return ValueOf(rows, L"First File TypeLib Info") == first &&
                   ValueOf(rows, L"Second File TypeLib Info") == second;
        });
    };
    // Both typed, then Enter.
    SetText(w.Control(IDC_FIRST_FILE_PATH), alpha);
    SetText(w.Control(IDC_SECOND_FILE_PATH), alpha2);
    EnterIn(w, IDC_SECOND_FILE_PATH);
    EXPECT_TRUE(headingsAre(alpha, alpha2));
    // One typed over, Enter in the other box: the box as it stands now.
    SetText(w.Control(IDC_SECOND_FILE_PATH), ten);
    EnterIn(w, IDC_FIRST_FILE_PATH);
    EXPECT_TRUE(headingsAre(alpha, ten));
    // Typed first, picked second.
    SetText(w.Control(IDC_FIRST_FILE_PATH), alpha2);
    ASSERT_TRUE(ChooseWith(w, IDC_SELECT_SECOND_FILE, alpha));
    EXPECT_TRUE(headingsAre(alpha2, alpha));
    // A box naming a file that is not there says so.
    const std::wstring gone = FixturePath(L"missing.dll");
    SetText(w.Control(IDC_FIRST_FILE_PATH), gone);
    EnterIn(w, IDC_FIRST_FILE_PATH);
    EXPECT_TRUE(WaitUntil([&] {
        auto rows = ReadListViewRows(grid);
        return rows.size() == 1 && rows[0][0] == L"The file \"" + gone + L"\" does not exist.";
    }));
}

TEST(Grids, DroppedFilesOpenTheirReportOrAreCompared) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    const std::wstring alpha = FixturePath(L"tl_alpha.dll");
    const std::wstring ten = FixturePath(L"tl_ten.dll");
    // On the first tab: the report of the file.
    ASSERT_TRUE(DropFiles(w.main, {alpha}));
    EXPECT_EQ(w.TextOnceIs(IDC_FILE_PATH, alpha), alpha);
    EXPECT_TRUE(WaitUntil([&] { return ReadListViewRows(w.Control(IDC_REPORT_GRID)).size() > 3; }));
    // Two on the comparison tab: both compared.
    SelectTab(w.main, 1);
    HWND grid = w.Control(IDC_COMPARISON_GRID);
    ASSERT_TRUE(WaitUntil([&] { return grid && ::IsWindowVisible(grid); }));
    ASSERT_TRUE(DropFiles(w.main, {ten, alpha}));
    EXPECT_TRUE(WaitUntil([&] {
        auto rows = ReadListViewRows(grid);
        return ValueOf(rows, L"First File TypeLib Info") == ten &&
               ValueOf(rows, L"Second File TypeLib Info") == alpha;
    }));
    EXPECT_EQ(w.Text(IDC_FIRST_FILE_PATH), ten);
    EXPECT_EQ(w.Text(IDC_SECOND_FILE_PATH), alpha);
    // One on the second box replaces that box alone.
    const RECT second = RectIn(w.Control(IDC_SECOND_FILE_FRAME), w.main);
    ASSERT_TRUE(DropFiles(w.main, {ten},
                          {(second.left + second.right) / 2, (second.top + second.bottom) / 2}));
    EXPECT_TRUE(WaitUntil(
        [&] { return ValueOf(ReadListViewRows(grid), L"Second File TypeLib Info") == ten; }));
    EXPECT_EQ(w.Text(IDC_FIRST_FILE_PATH), ten);
}

TEST(Grids, DoubleClickShowsExactlyTheCellUnderTheMouse) {
    const std::wstring path = FixturePath(L"tl_none.dll");
    MainWindowRun w(L"\"" + path + L"\"");
    ASSERT_NE(w.main, nullptr);
    HWND grid = w.Control(IDC_REPORT_GRID);
    auto rows = ReadListViewRows(grid);
    ASSERT_GT(rows.size(), 3u);
    EXPECT_EQ(ShownOnDoubleClick(w, grid, 1, 0), rows[1][0]);
    // A second cell after closing: its text only, not appended.
    EXPECT_EQ(ShownOnDoubleClick(w, grid, 2, 0), rows[2][0]);
    EXPECT_TRUE(::IsWindowEnabled(w.main));
}
