// The running program as assistive tools see it: every Command button is a
// push button with a name that says what it does, read across processes
// through the platform's accessibility calls; a report grid taking the focus
// has a focused row to announce.

#include "main_window_driver.h"
#include "support/accessible_reader.h"

#include <commctrl.h>
#include <oleacc.h>

#include <gtest/gtest.h>

using namespace calvorn::test;
using namespace calvorn::ui;

TEST(MainWindowAccessibility, EveryButtonIsAPushButtonWithAName) {
    ComApartment com;
    ForgetPlacement();
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    for (int tab : {1, 2, 0}) {
        SelectTab(w.main, tab);
        ASSERT_TRUE(WaitUntil([&] { return CurrentTab(w.main) == tab; }));
    }
    struct Case {
        int id;
        std::wstring name; // empty: the caption as it reads
    };
    for (const Case& c :
         {Case{IDC_BROWSE, L"Browse..."}, Case{IDC_REGISTER, L"Register DLL / File"},
          Case{IDC_UNREGISTER, L"Un-Register DLL / File"}, Case{IDC_EXPORT, L"Export..."},
          Case{IDC_CHECK, L"Check registration"}, Case{IDC_SELECT_FIRST_FILE, L"Choose first file"},
          Case{IDC_SELECT_SECOND_FILE, L"Choose second file"}, Case{IDC_SHELL_SWITCH, L""}}) {
        HWND button = w.Control(c.id);
        ASSERT_NE(button, nullptr) << c.id;
        const std::wstring name = c.name.empty() ? WindowText(button) : c.name;
        auto facts = ReadAccessible(button);
        ASSERT_TRUE(facts) << "button " << c.id << " offers no accessible object";
        EXPECT_EQ(facts->role, ROLE_SYSTEM_PUSHBUTTON) << c.id;
        EXPECT_EQ(facts->name, name) << c.id;
        EXPECT_EQ(facts->defaultAction, L"Press") << c.id;
    }
}

TEST(MainWindowAccessibility, AReportReachedWithTabShowsAFocusedRowAndSelectsNone) {
    MainWindowRun w(L"\"" + FixturePath(L"tl_alpha.dll") + L"\"");
    ASSERT_NE(w.main, nullptr);
    HWND grid = w.Control(IDC_REPORT_GRID);
    ASSERT_TRUE(WaitUntil([&] { return ::SendMessageW(grid, LVM_GETITEMCOUNT, 0, 0) > 0; }));
    ASSERT_TRUE(WaitUntil([&] { return FocusOf(w.main) != nullptr; }));
    for (int step = 0; step < 10 && FocusOf(w.main) != grid; ++step) {
        HWND before = FocusOf(w.main);
        TypeKeys(w.main, {VK_TAB});
        WaitUntil([&] { return FocusOf(w.main) != before; }, std::chrono::seconds(5));
    }
    ASSERT_EQ(FocusOf(w.main), grid);
    EXPECT_TRUE(WaitUntil([&] {
        return ::SendMessageW(grid, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED) == 0;
    }));
    EXPECT_EQ(::SendMessageW(grid, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), -1);
}
