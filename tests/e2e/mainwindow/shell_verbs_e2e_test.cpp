// The Enable / Disable button of the Options tab writes and removes the
// Explorer verbs, seen in HKEY_CLASSES_ROOT.

#include "integration/shell_verbs/classes_scope.h"
#include "main_window_driver.h"
#include "platform/program_parts.h"
#include "platform/text.h"
#include "ui/cell_text_window.h"

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
    PressCommand(w.Control(IDC_SHELL_SWITCH));
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
    ScopedFileType exe(L".exe", L"exefile");
    ScopedFileType ocx(L".ocx", L"ocxfile");
    const std::wstring dllClass = dll.ProgId();
    ASSERT_FALSE(dllClass.empty());
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    SelectTab(w.main, 2);
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(w.Control(IDC_SHELL_SWITCH)); }));
    const bool wereThere = w.Text(IDC_SHELL_SWITCH) == L"Disable";
    EXPECT_EQ(wereThere, KeyThere(dllClass + L"\\shell\\Register"));
    if (wereThere) {
        ASSERT_EQ(PressAndAnswer(w), L"Shell Extensions Disabled!");
    }

    ASSERT_EQ(w.TextOnceIs(IDC_SHELL_SWITCH, L"Enable"), L"Enable");
    EXPECT_EQ(PressAndAnswer(w), L"Shell Extensions Enabled!");
    EXPECT_EQ(w.TextOnceIs(IDC_SHELL_SWITCH, L"Disable"), L"Disable");
    EXPECT_EQ(w.TextOnceIs(IDC_SHELL_STATE,
                           L"Extensions are Enabled. Click Disable to remove Shell Extensions"),
              L"Extensions are Enabled. Click Disable to remove Shell Extensions");
    const std::wstring command = DefaultValue(dllClass + L"\\shell\\Register\\command");
    EXPECT_NE(command.find(calvorn::platform::OwnProgramFileName()), std::wstring::npos) << command;
    EXPECT_NE(command.find(L" -r \"%1\""), std::wstring::npos) << command;
    EXPECT_TRUE(KeyThere(dllClass + L"\\shell\\UnRegister\\command"));
    EXPECT_TRUE(KeyThere(dllClass + L"\\shell\\Calvorn\\command"));
    EXPECT_TRUE(KeyThere(L"Folder\\shell\\ActiveX Report\\command"));

    EXPECT_EQ(PressAndAnswer(w), L"Shell Extensions Disabled!");
    EXPECT_EQ(w.TextOnceIs(IDC_SHELL_SWITCH, L"Enable"), L"Enable");
    EXPECT_EQ(w.TextOnceIs(IDC_SHELL_STATE,
                           L"Extensions are Disabled. Click Enable to create Shell Extensions"),
              L"Extensions are Disabled. Click Enable to create Shell Extensions");
    EXPECT_FALSE(KeyThere(dllClass + L"\\shell\\Register"));
    EXPECT_FALSE(KeyThere(dllClass + L"\\shell\\Calvorn"));
    EXPECT_FALSE(KeyThere(L"Folder\\shell\\ActiveX Report"));

    if (wereThere) {
        EXPECT_EQ(PressAndAnswer(w), L"Shell Extensions Enabled!");
    }
}

// A value of HKEY_CLASSES_ROOT changed for one test and put back after.
class ChangedClassesValue {
  public:
    ChangedClassesValue(const std::wstring& key, const std::wstring& value)
        : key_(key), existed_(ClassesKeyThere(key)), saved_(ClassesValue(key)) {
        WriteRaw(HKEY_CLASSES_ROOT, key, L"", SzValue(value));
    }
    ~ChangedClassesValue() {
        if (!existed_)
            ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key_.c_str());
        else if (saved_)
            WriteRaw(HKEY_CLASSES_ROOT, key_, L"", saved_);
        else
            ::RegDeleteKeyValueW(HKEY_CLASSES_ROOT, key_.c_str(), nullptr);
    }

  private:
    std::wstring key_;
    bool existed_;
    std::optional<StoredValue> saved_;
};

const std::wstring kEnabledLabel =
    L"Extensions are Enabled. Click Disable to remove Shell Extensions";

TEST(ShellVerbs, ATypeWithoutProgIdIsNamedAndTheOthersStillGetTheirVerbs) {
    ScopedFileType dll(L".dll", L"dllfile");
    ScopedFileType exe(L".exe", L"exefile");
    // As in a fresh prefix: ".ocx" names no file type.
    ChangedClassesValue ocx(L".ocx", L"");
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    SelectTab(w.main, 2);
    ASSERT_TRUE(WaitUntil([&] { return w.Text(IDC_SHELL_SWITCH) == L"Enable"; }));
    EXPECT_EQ(PressAndAnswer(w),
              L"Shell Extensions Enabled, except:\r\n"
              L".ocx: HKEY_CLASSES_ROOT\\.ocx names no file type (ProgID), so it has no verbs.");
    // The button and the label show what is installed.
    EXPECT_EQ(w.TextOnceIs(IDC_SHELL_SWITCH, L"Disable"), L"Disable");
    EXPECT_EQ(w.TextOnceIs(IDC_SHELL_STATE, kEnabledLabel), kEnabledLabel);
    EXPECT_TRUE(KeyThere(dll.ProgId() + L"\\shell\\Register\\command"));
    EXPECT_TRUE(KeyThere(exe.ProgId() + L"\\shell\\Calvorn\\command"));
    EXPECT_TRUE(KeyThere(L"Folder\\shell\\ActiveX Report\\command"));
    // And what Enable wrote, Disable takes away.
    EXPECT_EQ(PressAndAnswer(w), L"Shell Extensions Disabled!");
    EXPECT_EQ(w.TextOnceIs(IDC_SHELL_SWITCH, L"Enable"), L"Enable");
    EXPECT_FALSE(KeyThere(dll.ProgId() + L"\\shell\\Register"));
    EXPECT_FALSE(KeyThere(exe.ProgId() + L"\\shell\\Calvorn"));
    EXPECT_FALSE(KeyThere(L"Folder\\shell\\ActiveX Report"));
}

TEST(ShellVerbs, AnotherToolsVerbIsNamedOnEnableAndKeptOnDisable) {
    ScopedFileType dll(L".dll", L"dllfile");
    ScopedFileType exe(L".exe", L"exefile");
    ScopedFileType ocx(L".ocx", L"ocxfile");
    const std::wstring theirs = L"\"C:\\Tools\\regtool.exe\" \"%1\"";
    const std::wstring verbKey = dll.ProgId() + L"\\shell\\Register";
    const bool verbThere = KeyThere(verbKey);
    struct RemoveVerb {
        const std::wstring& key;
        bool keep;
        ~RemoveVerb() {
            if (!keep)
                ::RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
        }
    } removeVerb{verbKey, verbThere};
    ChangedClassesValue verb(verbKey + L"\\command", theirs);
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    SelectTab(w.main, 2);
    ASSERT_TRUE(WaitUntil([&] { return w.Text(IDC_SHELL_SWITCH) == L"Enable"; }));
    EXPECT_EQ(PressAndAnswer(w),
              L"Shell Extensions Enabled, except:\r\n"
              L".dll: the verb \"Register\" of " +
                  dll.ProgId() + L" belongs to another program and was left as it is: " + theirs);
    EXPECT_EQ(w.TextOnceIs(IDC_SHELL_SWITCH, L"Disable"), L"Disable");
    EXPECT_EQ(DefaultValue(dll.ProgId() + L"\\shell\\Register\\command"), theirs);
    EXPECT_EQ(PressAndAnswer(w), L"Shell Extensions Disabled!");
    EXPECT_EQ(w.TextOnceIs(IDC_SHELL_SWITCH, L"Enable"), L"Enable");
    EXPECT_EQ(DefaultValue(dll.ProgId() + L"\\shell\\Register\\command"), theirs);
    EXPECT_FALSE(KeyThere(dll.ProgId() + L"\\shell\\UnRegister"));
}

// Enable refused for want of rights, in a program started without them:
// the offer to run it again as administrator, and that run's outcome told
// (Wine's "runas" gives it no more rights, so it is refused as well).
TEST(ShellVerbs, EnableRefusedForWantOfRightsOffersTheRunAsAdministrator) {
    ScopedFileType dll(L".dll", L"dllfile");
    ScopedFileType exe(L".exe", L"exefile");
    const bool dllShell = KeyThere(dll.ProgId() + L"\\shell");
    const bool exeShell = KeyThere(exe.ProgId() + L"\\shell");
    // Enable writes the folder's verb as well, which nothing here refuses.
    const std::wstring folderVerb = L"Folder\\shell\\ActiveX Report";
    const bool folderVerbThere = KeyThere(folderVerb);
    // An empty command key is free for the verb, and written only by one
    // who may write it.
    const std::wstring locked = dll.ProgId() + L"\\shell\\Register\\command";
    HKEY made = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CLASSES_ROOT, locked.c_str(), 0, nullptr, 0, KEY_READ, nullptr,
                                &made, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(made);
    ASSERT_TRUE(SetKeyAccess(locked, L"D:P(A;;KR;;;WD)"));
    {
        MainWindowRun w({}, Rights::Limited);
        ASSERT_NE(w.main, nullptr);
        SelectTab(w.main, 2);
        ASSERT_TRUE(WaitUntil([&] { return w.Text(IDC_SHELL_SWITCH) == L"Enable"; }));
        PressCommand(w.Control(IDC_SHELL_SWITCH));
        std::optional<SeenMessageBox> offer = w.run.WaitForMessageBox(20s);
        ASSERT_TRUE(offer);
        EXPECT_EQ(offer->text, L"Shell Extensions Enabled, except:");
        ASSERT_FALSE(offer->buttons.empty());
        EXPECT_EQ(offer->buttons[0].rfind(L"Try again as administrator", 0), 0u);
        w.run.Answer(*offer, 101);
        std::optional<SeenMessageBox> told = w.run.WaitForMessageBox(60s);
        ASSERT_TRUE(told);
        EXPECT_EQ(told->text.rfind(L"The run as administrator failed (needs-elevation)", 0), 0u)
            << calvorn::platform::Narrow(told->text);
        w.run.Answer(*told, IDOK);
    }
    EXPECT_TRUE(SetKeyAccess(locked, L"D:(A;;KA;;;WD)"));
    for (const std::wstring* progId : {&dll.ProgId(), &exe.ProgId()})
        for (const wchar_t* verb : {L"Register", L"UnRegister", L"Calvorn"})
            ::RegDeleteTreeW(HKEY_CLASSES_ROOT, (*progId + L"\\shell\\" + verb).c_str());
    if (!dllShell)
        ::RegDeleteKeyW(HKEY_CLASSES_ROOT, (dll.ProgId() + L"\\shell").c_str());
    if (!exeShell)
        ::RegDeleteKeyW(HKEY_CLASSES_ROOT, (exe.ProgId() + L"\\shell").c_str());
    if (!folderVerbThere)
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, folderVerb.c_str());
}

// "Check this computer..." on the same tab: the scan in the text window, and
// its "Save..." writes that text; "Undo a repair..." puts a backup back.
TEST(CheckThisComputer, ShowsTheBrokenRegistrationsAndSavesThem) {
    const std::wstring undone = L"Software\\Classes\\CalvornScan.WindowUndo";
    const std::wstring backup = MakeScratchDir(L"scan-undo") + L"calvorn-backup-1.reg";
    {
        const std::wstring text = L"\xFEFFWindows Registry Editor Version 5.00\r\n\r\n"
                                  L"; Calvorn repair backup (x64)\r\n\r\n"
                                  L"[HKEY_CURRENT_USER\\" +
                                  undone + L"]\r\n@=\"back\"\r\n";
        HANDLE file =
            ::CreateFileW(backup.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        ::WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written,
                    nullptr);
        ::CloseHandle(file);
    }
    const std::wstring orphan = L"Software\\Classes\\CalvornScan.WindowOrphan";
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, (orphan + L"\\CLSID").c_str(), 0, nullptr, 0,
                                KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::wstring gone = L"{D0D0D0D0-1111-2222-3333-444455556666}";
    ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(gone.c_str()),
                     static_cast<DWORD>((gone.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    {
        MainWindowRun w;
        ASSERT_NE(w.main, nullptr);
        SelectTab(w.main, 2);
        ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(w.Control(IDC_SCAN)); }));
        PressCommand(w.Control(IDC_SCAN));
        HWND text = w.run.WaitForWindow(L"Calvorn.CellTextWindow", 30s);
        ASSERT_NE(text, nullptr);
        const std::wstring shown = WindowText(FindControl(text, IDC_CELL_TEXT));
        EXPECT_NE(shown.find(L"broken  user  ProgID  HKEY_CURRENT_USER\\" + orphan +
                             L"  missing class " + gone),
                  std::wstring::npos)
            << calvorn::platform::Narrow(shown);
        EXPECT_NE(shown.find(L" registrations checked"), std::wstring::npos);

        const std::wstring saved = MakeScratchDir(L"scan-save") + L"scan.txt";
        PressCommand(FindControl(text, IDC_SAVE_TEXT));
        HWND dialog = WaitForDialog(w.run, L"Save As");
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(ChooseInOpenDialog(dialog, saved));
        EXPECT_TRUE(WaitUntil([&] { return Exists(saved); }));
        EXPECT_EQ(ReadAll(saved), calvorn::platform::Narrow(shown));

        PressCommand(FindControl(text, IDC_CELL_ACTION));
        dialog = WaitForDialog(w.run, L"Open");
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(ChooseInOpenDialog(dialog, backup));
        const auto box = w.run.WaitForMessageBox(30s);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->title, L"Calvorn - Undo a repair");
        EXPECT_EQ(box->text.rfind(L"1 of 1 keys were restored", 0), 0u) << box->text;
        w.run.Answer(*box, IDOK);
        HKEY restored = nullptr;
        EXPECT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, undone.c_str(), 0, KEY_READ | KEY_WOW64_64KEY,
                                  &restored),
                  ERROR_SUCCESS);
        ::RegCloseKey(restored);
        ::PostMessageW(text, WM_CLOSE, 0, 0);
    }
    ::RegDeleteTreeW(HKEY_CURRENT_USER, orphan.c_str());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, undone.c_str());
}
