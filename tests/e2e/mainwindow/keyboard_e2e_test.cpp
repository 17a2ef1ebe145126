// The main window from the keyboard alone, as a dialog is used: access keys
// of labels and frames, Enter on buttons and grid rows, Ctrl+Tab between tabs.

#include "main_window_driver.h"
#include "support/list_view_reader.h"
#include "ui/cell_text_window.h"

#include <gtest/gtest.h>

using namespace calvorn::test;
using namespace calvorn::ui;
using namespace std::chrono_literals;

namespace {

bool FocusIs(const MainWindowRun& w, int id) {
    return WaitUntil([&] { return FocusOf(w.main) == w.Control(id); }, 10s);
}

void AltKey(HWND target, wchar_t key) {
    ::PostMessageW(target, WM_SYSCHAR, key, 1 << 29);
}

void CancelOpenDialog(MainWindowRun& w) {
    HWND dialog = WaitForDialog(w.run, L"Open");
    ASSERT_NE(dialog, nullptr);
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(dialog) || !::IsWindowVisible(dialog); }));
}

} // namespace

TEST(Keyboard, AccessKeysOfLabelsAndFramesMoveTheFocusToTheirControl) {
    MainWindowRun w(L"\"" + FixturePath(L"tl_alpha.dll") + L"\"");
    ASSERT_NE(w.main, nullptr);
    HWND grid = w.Control(IDC_REPORT_GRID);
    ASSERT_TRUE(ClickCell(grid, 1, 0));
    ASSERT_TRUE(FocusIs(w, IDC_REPORT_GRID));
    AltKey(grid, L'f'); // "Select &File:"
    EXPECT_TRUE(FocusIs(w, IDC_FILE_PATH));

    SelectTab(w.main, 1);
    ASSERT_TRUE(
        WaitUntil([&] { return ::IsWindowVisible(w.Control(IDC_SECOND_FILE_PATH)) != FALSE; }));
    AltKey(w.Control(IDC_TABS), L's'); // "&Second File"
    EXPECT_TRUE(FocusIs(w, IDC_SECOND_FILE_PATH));
    // F now belongs to "&First File": the hidden tab's label does not answer.
    AltKey(w.Control(IDC_SECOND_FILE_PATH), L'f');
    EXPECT_TRUE(FocusIs(w, IDC_FIRST_FILE_PATH));
}

TEST(Keyboard, CtrlTabAndCtrlPageKeysSwitchTabsBothWays) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return FocusOf(w.main) != nullptr; }));
    auto stepsTo = [&](std::initializer_list<WORD> keys, int tab) {
        TypeKeys(w.main, keys);
        return WaitUntil([&] { return CurrentTab(w.main) == tab; }, 10s);
    };
    EXPECT_TRUE(stepsTo({VK_CONTROL, VK_TAB}, 1));
    EXPECT_TRUE(::IsWindowVisible(w.Control(IDC_FIRST_FILE_PATH)));
    EXPECT_TRUE(stepsTo({VK_CONTROL, VK_TAB}, 2));
    EXPECT_TRUE(stepsTo({VK_CONTROL, VK_TAB}, 0)); // round again
    EXPECT_TRUE(stepsTo({VK_CONTROL, VK_SHIFT, VK_TAB}, 2));
    EXPECT_TRUE(stepsTo({VK_CONTROL, VK_PRIOR}, 1));
    EXPECT_TRUE(stepsTo({VK_CONTROL, VK_NEXT}, 2));
    // The focus left no hidden page behind; Tab goes on to the Enable button.
    HWND focus = FocusOf(w.main);
    ASSERT_NE(focus, nullptr);
    EXPECT_TRUE(::IsWindowVisible(focus));
    // Typed, not posted: a posted key would overtake the Ctrl still on its way up.
    TypeKeys(w.main, {VK_TAB});
    EXPECT_TRUE(FocusIs(w, IDC_SHELL_SWITCH));
}

TEST(Keyboard, EnterPressesTheFocusedButton) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    HWND file = w.Control(IDC_FILE_PATH);
    ::PostMessageW(file, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    ::PostMessageW(file, WM_LBUTTONUP, 0, 0);
    ASSERT_TRUE(FocusIs(w, IDC_FILE_PATH));
    ::PostMessageW(file, WM_KEYDOWN, VK_TAB, 0);
    ASSERT_TRUE(FocusIs(w, IDC_BROWSE));
    ::PostMessageW(w.Control(IDC_BROWSE), WM_KEYDOWN, VK_RETURN, 0);
    CancelOpenDialog(w);

    // "..." has no access key: Tab reaches it and Enter presses it.
    SelectTab(w.main, 1);
    HWND first = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (first = w.Control(IDC_FIRST_FILE_PATH)) != nullptr; }));
    ::PostMessageW(first, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    ::PostMessageW(first, WM_LBUTTONUP, 0, 0);
    ASSERT_TRUE(FocusIs(w, IDC_FIRST_FILE_PATH));
    ::PostMessageW(first, WM_KEYDOWN, VK_TAB, 0);
    ASSERT_TRUE(FocusIs(w, IDC_SELECT_FIRST_FILE));
    ::PostMessageW(w.Control(IDC_SELECT_FIRST_FILE), WM_KEYDOWN, VK_RETURN, 0);
    CancelOpenDialog(w);
    EXPECT_EQ(w.TextOnceIs(IDC_FIRST_FILE_PATH, L""), L"");
}

TEST(Keyboard, EnterOnAGridRowShowsItsValueSelectedInTheTextWindow) {
    MainWindowRun w(L"\"" + FixturePath(L"tl_alpha.dll") + L"\"");
    ASSERT_NE(w.main, nullptr);
    HWND grid = w.Control(IDC_REPORT_GRID);
    auto rows = ReadListViewRows(grid);
    ASSERT_GT(rows.size(), 3u);
    ASSERT_FALSE(rows[2][1].empty());
    ASSERT_TRUE(ClickCell(grid, 2, 0));
    ASSERT_TRUE(FocusIs(w, IDC_REPORT_GRID));
    ::PostMessageW(grid, WM_KEYDOWN, VK_RETURN, 0);
    HWND display = w.run.WaitForWindow(L"Calvorn.CellTextWindow", 20s);
    ASSERT_NE(display, nullptr);
    HWND text = FindControl(display, IDC_CELL_TEXT);
    EXPECT_EQ(WindowText(text), rows[2][1]);
    // All of it selected, ready to be copied.
    const DWORD selection = static_cast<DWORD>(::SendMessageW(text, EM_GETSEL, 0, 0));
    EXPECT_EQ(LOWORD(selection), 0);
    EXPECT_EQ(HIWORD(selection), rows[2][1].size());
    ::PostMessageW(display, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(display); }));
}

// F1 opens the guide beside the program at the open tab's section, or says
// where the guide was expected; the system menu's About says where the
// settings and the guide are.
TEST(Keyboard, F1OpensTheGuideAtTheOpenTabsSectionAndAboutSaysWhereThingsAre) {
    const std::wstring scratch = MakeScratchDir(L"help");
    const std::wstring opened = scratch + L"opened.log";
    ScopedEnvironment openLog(L"CALVORN_OPEN_LOG", opened);
    const std::wstring guide = BuildDir() + L"guide.html";
    const bool shipped = ::GetFileAttributesW(guide.c_str()) != INVALID_FILE_ATTRIBUTES;
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    const auto pressF1 = [&] { ::PostMessageW(w.Control(IDC_FILE_PATH), WM_KEYDOWN, VK_F1, 0); };
    if (!shipped) {
        pressF1();
        std::optional<SeenMessageBox> missing = w.run.WaitForMessageBox(20s);
        ASSERT_TRUE(missing);
        EXPECT_EQ(missing->text, L"The guide was not found.\nIt was expected at " + guide +
                                     L", beside the program.");
        w.run.Answer(*missing, IDOK);
        WriteText(guide, "<html></html>");
    }
    SelectTab(w.main, 2);
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(w.Control(IDC_SHELL_SWITCH)) != FALSE; }));
    pressF1();
    EXPECT_TRUE(WaitUntil([&] { return ReadAll(opened).find("#options") != std::string::npos; }));
    const std::string line = ReadAll(opened);
    EXPECT_EQ(line.rfind("file:///", 0), 0u) << line;
    EXPECT_NE(line.find("/guide.html#options\r\n"), std::string::npos) << line;

    ::PostMessageW(w.main, WM_SYSCOMMAND, 0x0110, 0);
    std::optional<SeenMessageBox> about = w.run.WaitForMessageBox(20s);
    ASSERT_TRUE(about);
    EXPECT_EQ(about->title, L"About Calvorn");
    for (const std::wstring& part :
         {std::wstring(L"Licence: MIT"), std::wstring(L"HKEY_CURRENT_USER\\Software\\Calvorn"),
          L"Guide: " + guide})
        EXPECT_NE(about->text.find(part), std::wstring::npos);
    w.run.Answer(*about, IDOK);
    if (!shipped)
        ::DeleteFileW(guide.c_str());
}
