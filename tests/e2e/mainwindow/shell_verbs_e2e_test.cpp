// The Enable / Disable button of the Options tab writes and removes the
// Explorer verbs, seen in HKEY_CLASSES_ROOT.

#include "integration/shell_verbs/classes_scope.h"
#include "main_window_driver.h"

#include <gtest/gtest.h>

using namespace calvorn::test;
using namespace calvorn::ui;
using namespace std::chrono_literals;

namespace {

std::wstring DefaultValue(const std::wstring& key) {
    wchar_t data[1024] = {};
    DWORD size = sizeof data;
    if (::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, data,
                       &size) != ERROR_SUCCESS)
        return {};
    return data;
}

bool KeyThere(const std::wstring& key) {
    HKEY hkey = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &hkey) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(hkey);
    return true;
}

// Presses the button and answers the one message box it shows; its text.
std::wstring PressAndAnswer(MainWindowRun& w) {
    PressCommand(w.Control(IDC_CMDSHELLEX));
    auto box = w.run.WaitForMessageBox(20s);
    if (!box)
        return {};
    w.run.Answer(*box, IDOK);
    // A box without a title of its own is the program's, not an "Error".
    EXPECT_EQ(box->title, L"Calvorn");
    return box->text;
}

} // namespace

TEST(ShellVerbs, EnableWritesTheVerbsAndDisableRemovesThem) {
    ScopedFileType dll(L".dll", L"dllfile");
    const std::wstring dllClass = dll.ProgId();
    ASSERT_FALSE(dllClass.empty());
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    SelectTab(w.main, 2);
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(w.Control(IDC_CMDSHELLEX)); }));
    const bool wereThere = w.Text(IDC_CMDSHELLEX) == L"Disable";
    EXPECT_EQ(wereThere, KeyThere(dllClass + L"\\shell\\Register"));
    if (wereThere) {
        ASSERT_EQ(PressAndAnswer(w), L"Shell Extensions Disabled!");
    }

    ASSERT_EQ(w.TextOnceIs(IDC_CMDSHELLEX, L"Enable"), L"Enable");
    EXPECT_EQ(PressAndAnswer(w), L"Shell Extensions Enabled!");
    EXPECT_EQ(w.TextOnceIs(IDC_CMDSHELLEX, L"Disable"), L"Disable");
    EXPECT_EQ(w.TextOnceIs(IDC_LBLSHELL,
                           L"Extensions are Enabled. Click Disable to remove Shell Extensions"),
              L"Extensions are Enabled. Click Disable to remove Shell Extensions");
    const std::wstring command = DefaultValue(dllClass + L"\\shell\\Register\\command");
    EXPECT_NE(command.find(L"calvorn.exe"), std::wstring::npos) << command;
    EXPECT_NE(command.find(L" -r \"%1\""), std::wstring::npos) << command;
    EXPECT_TRUE(KeyThere(dllClass + L"\\shell\\UnRegister\\command"));
    EXPECT_TRUE(KeyThere(dllClass + L"\\shell\\Calvorn\\command"));
    EXPECT_TRUE(KeyThere(L"Folder\\shell\\ActiveX Report\\command"));

    EXPECT_EQ(PressAndAnswer(w), L"Shell Extensions Disabled!");
    EXPECT_EQ(w.TextOnceIs(IDC_CMDSHELLEX, L"Enable"), L"Enable");
    EXPECT_EQ(w.TextOnceIs(IDC_LBLSHELL,
                           L"Extensions are Disabled. Click Enable to create Shell Extensions"),
              L"Extensions are Disabled. Click Enable to create Shell Extensions");
    EXPECT_FALSE(KeyThere(dllClass + L"\\shell\\Register"));
    EXPECT_FALSE(KeyThere(dllClass + L"\\shell\\Calvorn"));
    EXPECT_FALSE(KeyThere(L"Folder\\shell\\ActiveX Report"));

    if (wereThere) {
        EXPECT_EQ(PressAndAnswer(w), L"Shell Extensions Enabled!");
    }
}

TEST(ShellVerbs, VerbsThatCouldNotBeWrittenAreReportedNotCelebrated) {
    // ".dll" without a file class: no verb can be written for it.
    ScopedFileType dll(L".dll", L"dllfile");
    struct Restore {
        std::optional<StoredValue> saved = ClassesValue(L".dll");
        void Now() const { WriteRaw(HKEY_CLASSES_ROOT, L".dll", L"", saved); }
        ~Restore() { Now(); }
    } restore;
    ASSERT_TRUE(restore.saved.has_value());
    ASSERT_TRUE(WriteRaw(HKEY_CLASSES_ROOT, L".dll", L"", SzValue(L"")));
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    SelectTab(w.main, 2);
    ASSERT_TRUE(WaitUntil([&] { return w.Text(IDC_CMDSHELLEX) == L"Enable"; }));
    const std::wstring text = PressAndAnswer(w);
    restore.Now();
    EXPECT_EQ(text.rfind(L"cmdShellEX_Click: error ", 0), 0u) << text;
    EXPECT_EQ(w.TextOnceIs(IDC_CMDSHELLEX, L"Enable"), L"Enable");
    // With the class back, the same button works; then leave no verbs behind.
    EXPECT_EQ(PressAndAnswer(w), L"Shell Extensions Enabled!");
    EXPECT_EQ(PressAndAnswer(w), L"Shell Extensions Disabled!");
}
