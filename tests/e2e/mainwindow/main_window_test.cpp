// The main window driven from outside: buttons, tabs, pictures, the file
// dialog and the keyboard.

#include "main_window_driver.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

using namespace calvorn::test;
using namespace calvorn::ui;
using namespace std::chrono_literals;

TEST(MainWindow, ControlsCarryTheirCaptions) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    EXPECT_EQ(w.Text(IDC_FRMFILE), L"Select file (dll, ocx, exe)");
    EXPECT_EQ(w.Text(IDC_CMDBROWSE), L"&Browse...");
    EXPECT_EQ(w.Text(IDC_FRABUTTONS), L"Register DLL file (and other ActiveX)");
    EXPECT_EQ(w.Text(IDC_CMDREG), L"&Register DLL / File");
    EXPECT_EQ(w.Text(IDC_CMDUNREG), L"&Un-Register DLL / File");
    EXPECT_EQ(w.Text(IDC_CHKFORME), L"For me only");
    EXPECT_EQ(::IsDlgButtonChecked(::GetParent(w.Control(IDC_CHKFORME)), IDC_CHKFORME),
              static_cast<UINT>(BST_UNCHECKED));
    EXPECT_EQ(w.Text(IDC_FRAINFO), L"File Info / ActiveX Info");
    EXPECT_EQ(ClassNameOf(w.Control(IDC_CMDREG)), L"Calvorn.Command");
    EXPECT_EQ(CurrentTab(w.main), 0);
    EXPECT_TRUE(::IsWindowVisible(w.Control(IDC_CMDREG)));
    // The other tabs' controls are made when their tab is first shown.
    EXPECT_EQ(w.Control(IDC_CMDSELECTONE), nullptr);
    EXPECT_EQ(w.Control(IDC_TEXT1), nullptr);
    SelectTab(w.main, 1);
    ASSERT_TRUE(WaitUntil([&] { return w.Control(IDC_CMDSELECTONE) != nullptr; }));
    EXPECT_EQ(w.Text(IDC_CMDSELECTONE), L"...");
    EXPECT_EQ(w.Text(IDC_CMDSELECTTWO), L"...");
    EXPECT_EQ(w.Text(IDC_FRACOMPARISON), L"Comparison Result");
    EXPECT_FALSE(::IsWindowVisible(w.Control(IDC_CMDREG)));
    EXPECT_EQ(w.Control(IDC_TEXT1), nullptr);
    SelectTab(w.main, 2);
    ASSERT_TRUE(WaitUntil([&] { return w.Control(IDC_TEXT1) != nullptr; }));
    EXPECT_EQ(w.Text(IDC_FRAME2), L"Shell Extensions");
    EXPECT_EQ(w.Text(IDC_FRAME3), L"Help");
    EXPECT_EQ(w.Text(IDC_TEXT1), kShellHelpText);
    EXPECT_FALSE(::IsWindowVisible(w.Control(IDC_CMDSELECTONE)));
}

TEST(MainWindow, TabChangeShowsItsPageAndReadsTheVerbState) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    SelectTab(w.main, 1);
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(w.Control(IDC_CMDSELECTONE)); }));
    EXPECT_FALSE(::IsWindowVisible(w.Control(IDC_CMDREG)));
    SelectTab(w.main, 2);
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(w.Control(IDC_TEXT1)); }));
    // The state test replaces the design sentence with what the registry holds.
    std::wstring label = w.Text(IDC_LBLSHELL);
    std::wstring button = w.Text(IDC_CMDSHELLEX);
    if (button == L"Enable")
        EXPECT_EQ(label, L"Extensions are Disabled. Click Enable to create Shell Extensions");
    else
        EXPECT_EQ(label, L"Extensions are Enabled. Click Disable to remove Shell Extensions");
}

TEST(MainWindow, PicturesSelectTheTabOfTheirNumber) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    ClickControl(w.Control(IDC_PICTAB0 + 8)); // tab 0, number 2
    ASSERT_TRUE(WaitUntil([&] { return CurrentTab(w.main) == 2; }));
    ClickControl(w.Control(IDC_PICTAB0 + 10)); // tab 2, number 1
    ASSERT_TRUE(WaitUntil([&] { return CurrentTab(w.main) == 1; }));
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(w.Control(IDC_TXTFIRSTFILE)); }));
    // Picture 0 carries no number: nothing changes.
    ClickControl(w.Control(IDC_PICTAB0));
    ClickControl(w.Control(IDC_PICTAB0 + 4)); // tab 1, number 1: stays
    ASSERT_TRUE(PostedMessagesHandled(w.Control(IDC_TXTFIRSTFILE)));
    EXPECT_EQ(CurrentTab(w.main), 1);
}

TEST(MainWindow, EveryPictureSaysWhatItDoes) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    SelectTab(w.main, 2);
    ASSERT_TRUE(WaitUntil([&] { return w.Control(IDC_PICTAB0 + 5) != nullptr; }));
    auto tipOf = [&](int id) {
        for (const RemoteTool& tool : RemoteToolTips(w.main))
            if (tool.control == w.Control(id))
                return tool.text;
        return std::wstring(L"<none>");
    };
    const std::wstring go[] = {L"Go to the Register DLL / File tab",
                               L"Go to the File Comparison tab", L"Go to the Options tab"};
    // Tab 0 shows pictures 3, 7, 8; tab 2 shows 2, 10, 5 (tab numbers 0, 1, 2).
    EXPECT_EQ(tipOf(IDC_PICTAB0 + 3), go[0]);
    EXPECT_EQ(tipOf(IDC_PICTAB0 + 7), go[1]);
    EXPECT_EQ(tipOf(IDC_PICTAB0 + 8), go[2]);
    EXPECT_EQ(tipOf(IDC_PICTAB0 + 2), go[0]);
    EXPECT_EQ(tipOf(IDC_PICTAB0 + 10), go[1]);
    EXPECT_EQ(tipOf(IDC_PICTAB0 + 5), go[2]);
    EXPECT_EQ(tipOf(IDC_IMGTABICON), L"Shows which tab is open");
    EXPECT_NE(tipOf(IDC_PICTAB0).find(L"Calvorn"), std::wstring::npos);
    // The mouse resting on a picture brings its tip up.
    EXPECT_EQ(ToolTipAt(w.run, w.Control(IDC_PICTAB0 + 5), {4, 4}), go[2]);
}

TEST(MainWindow, BrowseFillsTheFileBoxFromTheDialog) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    PressCommand(w.Control(IDC_CMDBROWSE));
    HWND dialog = WaitForDialog(w.run, L"Open");
    ASSERT_NE(dialog, nullptr);
    const std::wstring chosen = ProgramPath();
    ASSERT_TRUE(ChooseInOpenDialog(dialog, chosen));
    EXPECT_TRUE(WaitUntil([&] { return w.Text(IDC_TXTFILE) == chosen; }));
}

TEST(MainWindow, CancelAndEnterKeepTheTypedText) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    SetText(w.Control(IDC_TXTFILE), L"C:\\typed\\by hand.dll");
    // The access key of Browse opens the dialog; cancelling it changes nothing.
    ::PostMessageW(w.Control(IDC_TXTFILE), WM_SYSCHAR, L'b', 1 << 29);
    HWND dialog = WaitForDialog(w.run, L"Open");
    ASSERT_NE(dialog, nullptr);
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog) || !::IsWindowVisible(dialog); }));
    EXPECT_EQ(w.TextOnceIs(IDC_TXTFILE, L"C:\\typed\\by hand.dll"), L"C:\\typed\\by hand.dll");
    // Enter in the file box neither clears it nor closes anything.
    ::PostMessageW(w.Control(IDC_TXTFILE), WM_KEYDOWN, VK_RETURN, 0);
    ::PostMessageW(w.Control(IDC_TXTFILE), WM_CHAR, L'\r', 0);
    ASSERT_TRUE(PostedMessagesHandled(w.Control(IDC_TXTFILE)));
    EXPECT_TRUE(::IsWindowVisible(w.main));
    EXPECT_EQ(w.TextOnceIs(IDC_TXTFILE, L"C:\\typed\\by hand.dll"), L"C:\\typed\\by hand.dll");
}

TEST(MainWindow, TabKeyWalksTheControlsOfTheActiveTabInOrder) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return FocusOf(w.main) != nullptr; }));
    ::PostMessageW(w.Control(IDC_TXTFILE), WM_LBUTTONDOWN, MK_LBUTTON, 0);
    ::PostMessageW(w.Control(IDC_TXTFILE), WM_LBUTTONUP, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return FocusOf(w.main) == w.Control(IDC_TXTFILE); }));
    for (int id : {IDC_CMDBROWSE, IDC_CMDREG, IDC_CMDUNREG, IDC_CHKFORME, IDC_GRIDINFO}) {
        ::PostMessageW(FocusOf(w.main), WM_KEYDOWN, VK_TAB, 0);
        EXPECT_TRUE(WaitUntil([&] { return FocusOf(w.main) == w.Control(id); }))
            << "focus did not reach control " << id;
    }
}

TEST(MainWindow, RegisterAndUnregisterTheTypedPath) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    SetText(w.Control(IDC_TXTFILE), FixturePath(L"probe_good.dll"));
    PressCommand(w.Control(IDC_CMDREG));
    auto box = w.run.WaitForMessageBox(30s);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->title, L"Calvorn - Registering");
    EXPECT_EQ(box->text, L"ActiveX Component registration successful!");
    w.run.Answer(*box, IDOK);
    // The report is rebuilt meanwhile; the typed path stays.
    EXPECT_TRUE(WaitUntil([&] { return w.Text(IDC_TXTFILE) == FixturePath(L"probe_good.dll"); }));
    // The access key does what the mouse does.
    ::PostMessageW(w.Control(IDC_TXTFILE), WM_SYSCHAR, L'u', 1 << 29);
    box = w.run.WaitForMessageBox(30s);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->title, L"Calvorn - UnRegistering");
    EXPECT_EQ(box->text, L"ActiveX Component unregistration successful!");
    w.run.Answer(*box, IDOK);
    // The report is rebuilt meanwhile; the typed path stays.
    EXPECT_TRUE(WaitUntil([&] { return w.Text(IDC_TXTFILE) == FixturePath(L"probe_good.dll"); }));
}

TEST(MainWindow, SpaceOnAFocusedButtonWithoutAccessKeyPressesIt) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    SelectTab(w.main, 1);
    HWND first = w.Control(IDC_TXTFIRSTFILE);
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(first); }));
    ::PostMessageW(first, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    ::PostMessageW(first, WM_LBUTTONUP, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return FocusOf(w.main) == first; }));
    ::PostMessageW(first, WM_KEYDOWN, VK_TAB, 0);
    HWND dots = w.Control(IDC_CMDSELECTONE);
    ASSERT_TRUE(WaitUntil([&] { return FocusOf(w.main) == dots; }));
    ::PostMessageW(dots, WM_KEYDOWN, VK_SPACE, 0);
    ::PostMessageW(dots, WM_KEYUP, VK_SPACE, 0);
    HWND dialog = WaitForDialog(w.run, L"Open");
    ASSERT_NE(dialog, nullptr);
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(dialog) || !::IsWindowVisible(dialog); }));
    EXPECT_EQ(w.TextOnceIs(IDC_TXTFIRSTFILE, L""), L"");
}

namespace {

bool ModuleLoaded(DWORD pid, const wchar_t* name) {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, pid);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = ::Module32FirstW(snapshot, &entry); more && !found;
         more = ::Module32NextW(snapshot, &entry))
        found = _wcsicmp(entry.szModule, name) == 0;
    ::CloseHandle(snapshot);
    return found;
}

bool HasWindowOfClass(DWORD pid, const wchar_t* className) {
    for (HWND hwnd = ::FindWindowExW(nullptr, nullptr, className, nullptr); hwnd;
         hwnd = ::FindWindowExW(nullptr, hwnd, className, nullptr)) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(hwnd, &owner);
        if (owner == pid)
            return true;
    }
    return false;
}

} // namespace

TEST(MainWindow, StartsWithoutWhatTheFirstPaintDoesNotNeed) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    const DWORD pid = w.run.ProcessId();
    ASSERT_TRUE(ModuleLoaded(pid, L"calvorn.exe"));
    // The file dialog's library, the shell and the text window come when
    // first used.
    EXPECT_FALSE(ModuleLoaded(pid, L"comdlg32.dll"));
    EXPECT_FALSE(ModuleLoaded(pid, L"shell32.dll"));
    EXPECT_FALSE(HasWindowOfClass(pid, L"Calvorn.frmDisplay"));
    PressCommand(w.Control(IDC_CMDBROWSE));
    HWND dialog = WaitForDialog(w.run, L"Open");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(ModuleLoaded(pid, L"comdlg32.dll"));
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(dialog) || !::IsWindowVisible(dialog); }));
}
