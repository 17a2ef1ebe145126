// The running program as assistive tools see it: every Command button is a
// push button with a name that says what it does, read across processes
// through the platform's accessibility calls.

#include "main_window_driver.h"
#include "support/accessible_reader.h"

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
         {Case{IDC_CMDBROWSE, L"Browse..."}, Case{IDC_CMDREG, L"Register DLL / File"},
          Case{IDC_CMDUNREG, L"Un-Register DLL / File"},
          Case{IDC_CMDSELECTONE, L"Choose first file"},
          Case{IDC_CMDSELECTTWO, L"Choose second file"}, Case{IDC_CMDSHELLEX, L""}}) {
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
