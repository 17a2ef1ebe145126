// The main window driven from outside: buttons, tabs, pictures, the file
// dialog and the keyboard.

#include "main_window_driver.h"
#include "platform/program_parts.h"
#include "ui/message_loop.h"

#include <gtest/gtest.h>

#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdint>

using namespace calvorn::test;
using namespace calvorn::ui;
using namespace std::chrono_literals;

TEST(MainWindow, ControlsCarryTheirCaptions) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    EXPECT_EQ(w.Text(IDC_FILE_FRAME), L"Select file (dll, ocx, exe)");
    EXPECT_EQ(w.Text(IDC_BROWSE), L"&Browse...");
    EXPECT_EQ(w.Text(IDC_REGISTRATION_FRAME), L"Register DLL file (and other ActiveX)");
    EXPECT_EQ(w.Text(IDC_REGISTER), L"&Register DLL / File");
    EXPECT_EQ(w.Text(IDC_UNREGISTER), L"&Un-Register DLL / File");
    EXPECT_EQ(w.Text(IDC_EXPORT), L"&Export...");
    EXPECT_EQ(w.Text(IDC_FOR_ME_ONLY), L"For me only");
    EXPECT_EQ(::IsDlgButtonChecked(::GetParent(w.Control(IDC_FOR_ME_ONLY)), IDC_FOR_ME_ONLY),
              static_cast<UINT>(BST_UNCHECKED));
    EXPECT_EQ(w.Text(IDC_REPORT_FRAME), L"File Info / ActiveX Info");
    EXPECT_EQ(w.Text(IDC_CHECK), L"Check registration");
    EXPECT_EQ(ClassNameOf(w.Control(IDC_REGISTER)), L"Calvorn.Command");
    EXPECT_EQ(CurrentTab(w.main), 0);
    EXPECT_TRUE(::IsWindowVisible(w.Control(IDC_REGISTER)));
    // The other tabs' controls are made when their tab is first shown.
    EXPECT_EQ(w.Control(IDC_SELECT_FIRST_FILE), nullptr);
    EXPECT_EQ(w.Control(IDC_HELP_TEXT), nullptr);
    SelectTab(w.main, 1);
    ASSERT_TRUE(WaitUntil([&] { return w.Control(IDC_SELECT_FIRST_FILE) != nullptr; }));
    EXPECT_EQ(w.Text(IDC_SELECT_FIRST_FILE), L"...");
    EXPECT_EQ(w.Text(IDC_SELECT_SECOND_FILE), L"...");
    EXPECT_EQ(w.Text(IDC_COMPARISON_FRAME), L"Comparison Result");
    EXPECT_FALSE(::IsWindowVisible(w.Control(IDC_REGISTER)));
    EXPECT_EQ(w.Control(IDC_HELP_TEXT), nullptr);
    SelectTab(w.main, 2);
    ASSERT_TRUE(WaitUntil([&] { return w.Control(IDC_HELP_TEXT) != nullptr; }));
    EXPECT_EQ(w.Text(IDC_OPTIONS_FRAME), L"Shell Extensions");
    EXPECT_EQ(w.Text(IDC_HELP_FRAME), L"Help");
    EXPECT_EQ(w.Text(IDC_HELP_TEXT), kShellHelpText);
    EXPECT_FALSE(::IsWindowVisible(w.Control(IDC_SELECT_FIRST_FILE)));
}

namespace {

#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bits;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

BOOL CALLBACK FirstName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) {
    *reinterpret_cast<LPCWSTR*>(found) = name;
    return FALSE;
}

} // namespace

TEST(MainWindow, TheProgramCarriesItsIconAtEverySize) {
    const std::wstring program = ProgramPath();
    EXPECT_GE(::ExtractIconExW(program.c_str(), -1, nullptr, nullptr, 0), 1u);
    HMODULE image = ::LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(image, nullptr);
    // The first icon, the one Explorer shows, is the program's.
    LPCWSTR first = nullptr;
    ::EnumResourceNamesW(image, RT_GROUP_ICON, FirstName, reinterpret_cast<LONG_PTR>(&first));
    EXPECT_EQ(first, MAKEINTRESOURCEW(1));
    std::vector<int> sizes;
    if (HRSRC found = ::FindResourceW(image, MAKEINTRESOURCEW(1), RT_GROUP_ICON)) {
        const auto* group = static_cast<const WORD*>(::LockResource(::LoadResource(image, found)));
        const auto* entry = reinterpret_cast<const IconGroupEntry*>(group + 3);
        for (WORD i = 0; i < group[2]; ++i)
            sizes.push_back(entry[i].width ? entry[i].width : 256);
    }
    ::FreeLibrary(image);
    EXPECT_EQ(sizes, (std::vector<int>{16, 20, 24, 32, 40, 48, 64, 256}));
}

TEST(MainWindow, TabChangeShowsItsPageAndReadsTheVerbState) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    SelectTab(w.main, 1);
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(w.Control(IDC_SELECT_FIRST_FILE)); }));
    EXPECT_FALSE(::IsWindowVisible(w.Control(IDC_REGISTER)));
    SelectTab(w.main, 2);
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(w.Control(IDC_HELP_TEXT)); }));
    // The state test replaces the design sentence with what the registry holds.
    std::wstring label = w.Text(IDC_SHELL_STATE);
    std::wstring button = w.Text(IDC_SHELL_SWITCH);
    if (button == L"Enable")
        EXPECT_EQ(label, L"Extensions are Disabled. Click Enable to create Shell Extensions");
    else
        EXPECT_EQ(label, L"Extensions are Enabled. Click Disable to remove Shell Extensions");
}

TEST(MainWindow, PicturesSelectTheTabOfTheirNumber) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    ClickControl(w.Control(IDC_TAB_PICTURE0 + 8)); // tab 0, number 2
    ASSERT_TRUE(WaitUntil([&] { return CurrentTab(w.main) == 2; }));
    ClickControl(w.Control(IDC_TAB_PICTURE0 + 10)); // tab 2, number 1
    ASSERT_TRUE(WaitUntil([&] { return CurrentTab(w.main) == 1; }));
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(w.Control(IDC_FIRST_FILE_PATH)); }));
    // Picture 0 carries no number: nothing changes.
    ClickControl(w.Control(IDC_TAB_PICTURE0));
    ClickControl(w.Control(IDC_TAB_PICTURE0 + 4)); // tab 1, number 1: stays
    ASSERT_TRUE(PostedMessagesHandled(w.Control(IDC_FIRST_FILE_PATH)));
    EXPECT_EQ(CurrentTab(w.main), 1);
}

TEST(MainWindow, EveryPictureSaysWhatItDoes) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    SelectTab(w.main, 2);
    ASSERT_TRUE(WaitUntil([&] { return w.Control(IDC_TAB_PICTURE0 + 5) != nullptr; }));
    auto tipOf = [&](int id) {
        for (const RemoteTool& tool : RemoteToolTips(w.main))
            if (tool.control == w.Control(id))
                return tool.text;
        return std::wstring(L"<none>");
    };
    const std::wstring go[] = {L"Go to the Register DLL / File tab",
                               L"Go to the File Comparison tab", L"Go to the Options tab"};
    // Tab 0 shows pictures 3, 7, 8; tab 2 shows 2, 10, 5 (tab numbers 0, 1, 2).
    EXPECT_EQ(tipOf(IDC_TAB_PICTURE0 + 3), go[0]);
    EXPECT_EQ(tipOf(IDC_TAB_PICTURE0 + 7), go[1]);
    EXPECT_EQ(tipOf(IDC_TAB_PICTURE0 + 8), go[2]);
    EXPECT_EQ(tipOf(IDC_TAB_PICTURE0 + 2), go[0]);
    EXPECT_EQ(tipOf(IDC_TAB_PICTURE0 + 10), go[1]);
    EXPECT_EQ(tipOf(IDC_TAB_PICTURE0 + 5), go[2]);
    EXPECT_EQ(tipOf(IDC_TAB_ICON), L"Shows which tab is open");
    EXPECT_NE(tipOf(IDC_TAB_PICTURE0).find(L"Calvorn"), std::wstring::npos);
    // The mouse resting on a picture brings its tip up.
    EXPECT_EQ(ToolTipAt(w.run, w.Control(IDC_TAB_PICTURE0 + 5), {4, 4}), go[2]);
}

namespace {
COLORREF ScreenPixel(HWND window, POINT at) {
    ::ClientToScreen(window, &at);
    HDC screen = ::GetDC(nullptr);
    const COLORREF c = ::GetPixel(screen, at.x, at.y);
    ::ReleaseDC(nullptr, screen);
    return c;
}
} // namespace

TEST(MainWindow, AnIdleWindowWakesForNoTimerAndTheHoverLookGoesOnLeaving) {
    ::SetCursorPos(0, 0);
    ::SetEnvironmentVariableW(kTimerCountVariable, L"1");
    MainWindowRun w;
    ::SetEnvironmentVariableW(kTimerCountVariable, nullptr);
    ASSERT_NE(w.main, nullptr);
    auto timers = [&] {
        return reinterpret_cast<std::uintptr_t>(::GetPropW(w.main, kTimerCountProperty));
    };
    // Nine custom buttons on the window, the cursor nowhere near: nothing ticks.
    EXPECT_FALSE(WaitUntil([&] { return timers() != 0; }, 3s));

    // Over a button its gradient turns; away, it turns back.
    HWND button = w.Control(IDC_REGISTER);
    const POINT band{6, 6};
    const COLORREF plain = ScreenPixel(button, band);
    RECT r{};
    ::GetWindowRect(button, &r);
    ::SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ::PostMessageW(button, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    EXPECT_TRUE(WaitUntil([&] { return ScreenPixel(button, band) != plain; }));
    ::SetCursorPos(0, 0);
    EXPECT_TRUE(WaitUntil([&] { return ScreenPixel(button, band) == plain; }));

    // The count is real: a tooltip's delay is a timer, and it is seen.
    EXPECT_EQ(ToolTipAt(w.run, w.Control(IDC_TAB_ICON), {4, 4}), L"Shows which tab is open");
    EXPECT_GT(timers(), 0u);
}

TEST(MainWindow, BrowseFillsTheFileBoxFromTheDialog) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    PressCommand(w.Control(IDC_BROWSE));
    HWND dialog = WaitForDialog(w.run, L"Open");
    ASSERT_NE(dialog, nullptr);
    const std::wstring chosen = ProgramPath();
    ASSERT_TRUE(ChooseInOpenDialog(dialog, chosen));
    EXPECT_TRUE(WaitUntil([&] { return w.Text(IDC_FILE_PATH) == chosen; }));
}

TEST(MainWindow, TheOpenDialogOffersTheComponentKindsAndStartsInTheBoxsFolder) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    const std::wstring folder = FixturePath(L"");
    SetText(w.Control(IDC_FILE_PATH), folder + L"not there.dll");
    PressCommand(w.Control(IDC_BROWSE));
    HWND dialog = WaitForDialog(w.run, L"Open");
    ASSERT_NE(dialog, nullptr);
    HWND types = FindControl(dialog, 0x470); // the file-type combo box
    ASSERT_NE(types, nullptr);
    std::vector<std::wstring> offered;
    const LRESULT count = ::SendMessageW(types, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[128] = {};
        ::SendMessageW(types, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        offered.push_back(text);
    }
    EXPECT_EQ(offered,
              (std::vector<std::wstring>{L"Components (*.dll;*.ocx;*.exe)",
                                         L"Type libraries (*.tlb;*.olb)", L"All files (*.*)"}));
    // A bare name is taken in the folder the dialog starts in.
    ASSERT_TRUE(ChooseInOpenDialog(dialog, L"tl_alpha.dll"));
    EXPECT_EQ(w.TextOnceIs(IDC_FILE_PATH, folder + L"tl_alpha.dll"), folder + L"tl_alpha.dll");
}

TEST(MainWindow, CancelAndEnterKeepTheTypedText) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    SetText(w.Control(IDC_FILE_PATH), L"C:\\typed\\by hand.dll");
    // The access key of Browse opens the dialog; cancelling it changes nothing.
    ::PostMessageW(w.Control(IDC_FILE_PATH), WM_SYSCHAR, L'b', 1 << 29);
    HWND dialog = WaitForDialog(w.run, L"Open");
    ASSERT_NE(dialog, nullptr);
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog) || !::IsWindowVisible(dialog); }));
    EXPECT_EQ(w.TextOnceIs(IDC_FILE_PATH, L"C:\\typed\\by hand.dll"), L"C:\\typed\\by hand.dll");
    // Enter in the file box neither clears it nor closes anything.
    ::PostMessageW(w.Control(IDC_FILE_PATH), WM_KEYDOWN, VK_RETURN, 0);
    ::PostMessageW(w.Control(IDC_FILE_PATH), WM_CHAR, L'\r', 0);
    ASSERT_TRUE(PostedMessagesHandled(w.Control(IDC_FILE_PATH)));
    EXPECT_TRUE(::IsWindowVisible(w.main));
    EXPECT_EQ(w.TextOnceIs(IDC_FILE_PATH, L"C:\\typed\\by hand.dll"), L"C:\\typed\\by hand.dll");
}

TEST(MainWindow, TabKeyWalksTheControlsOfTheActiveTabInOrder) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return FocusOf(w.main) != nullptr; }));
    ::PostMessageW(w.Control(IDC_FILE_PATH), WM_LBUTTONDOWN, MK_LBUTTON, 0);
    ::PostMessageW(w.Control(IDC_FILE_PATH), WM_LBUTTONUP, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return FocusOf(w.main) == w.Control(IDC_FILE_PATH); }));
    for (int id : {IDC_BROWSE, IDC_REGISTER, IDC_UNREGISTER, IDC_EXPORT, IDC_FOR_ME_ONLY,
                   IDC_REPORT_GRID, IDC_CHECK}) {
        ::PostMessageW(FocusOf(w.main), WM_KEYDOWN, VK_TAB, 0);
        EXPECT_TRUE(WaitUntil([&] { return FocusOf(w.main) == w.Control(id); }))
            << "focus did not reach control " << id;
    }
}

TEST(MainWindow, RegisterAndUnregisterTheTypedPath) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    SetText(w.Control(IDC_FILE_PATH), FixturePath(L"probe_good.dll"));
    PressCommand(w.Control(IDC_REGISTER));
    auto box = w.run.WaitForMessageBox(30s);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->title, L"Calvorn - Registering");
    EXPECT_EQ(box->text, L"ActiveX Component registration successful!");
    w.run.Answer(*box, IDOK);
    // The report is rebuilt meanwhile; the typed path stays.
    EXPECT_TRUE(WaitUntil([&] { return w.Text(IDC_FILE_PATH) == FixturePath(L"probe_good.dll"); }));
    // The access key does what the mouse does.
    ::PostMessageW(w.Control(IDC_FILE_PATH), WM_SYSCHAR, L'u', 1 << 29);
    box = w.run.WaitForMessageBox(30s);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->title, L"Calvorn - UnRegistering");
    EXPECT_EQ(box->text, L"ActiveX Component unregistration successful!");
    w.run.Answer(*box, IDOK);
    // The report is rebuilt meanwhile; the typed path stays.
    EXPECT_TRUE(WaitUntil([&] { return w.Text(IDC_FILE_PATH) == FixturePath(L"probe_good.dll"); }));
}

namespace {

const wchar_t* const kProbeKeys[] = {L"CLSID\\{7A3C9E51-2B64-4D1F-8E0A-5C6B7D8E9F12}",
                                     L"CalvornProbe.Classes"};

// Whether a key of the probe is under `root`\Software\Classes, in either view.
bool ProbeKeyUnder(HKEY root) {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
        for (const wchar_t* key : kProbeKeys) {
            HKEY found = nullptr;
            if (::RegOpenKeyExW(root, (std::wstring(L"Software\\Classes\\") + key).c_str(), 0,
                                KEY_READ | view, &found) == ERROR_SUCCESS) {
                ::RegCloseKey(found);
                return true;
            }
        }
    return false;
}

void ForgetProbeKeys() {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            HKEY classes = nullptr;
            if (::RegOpenKeyExW(root, L"Software\\Classes", 0, KEY_ALL_ACCESS | view, &classes) !=
                ERROR_SUCCESS)
                continue;
            for (const wchar_t* key : kProbeKeys)
                ::RegDeleteTreeW(classes, key);
            ::RegCloseKey(classes);
        }
}

std::wstring AnswerOutcome(MainWindowRun& w) {
    auto box = w.run.WaitForMessageBox(30s);
    if (!box)
        return L"<no box>";
    w.run.Answer(*box, IDOK);
    return box->text;
}

} // namespace

TEST(MainWindow, ExportWritesTheChosenFormatBesideNothingRegistered) {
    const std::wstring dir = MakeScratchDir(L"window-export");
    const std::wstring dll = dir + L"probe_class.dll";
    ASSERT_TRUE(::CopyFileW(FixturePath(L"probe_class.dll").c_str(), dll.c_str(), FALSE));
    const std::wstring classKey = L"CLSID\\{5B1E7C2A-3F4D-4E8A-9C61-0D2F8A7B4C21}";
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    SetText(w.Control(IDC_FILE_PATH), dll);
    // Cancelled: nothing is exported and nothing is told.
    PressCommand(w.Control(IDC_EXPORT));
    HWND dialog = WaitForDialog(w.run, L"Save As");
    ASSERT_NE(dialog, nullptr);
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDCANCEL)));
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }));
    EXPECT_FALSE(w.run.WaitForMessageBox(2s).has_value());

    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(w.Control(IDC_EXPORT)) != FALSE; }));
    PressCommand(w.Control(IDC_EXPORT));
    dialog = WaitForDialog(w.run, L"Save As");
    ASSERT_NE(dialog, nullptr);
    // The formats are the file types; the component's name is suggested.
    HWND types = FindControl(dialog, 0x470);
    ASSERT_NE(types, nullptr);
    ASSERT_EQ(::SendMessageW(types, CB_GETCOUNT, 0, 0), 5);
    wchar_t item[100] = {};
    ::SendMessageW(types, CB_GETLBTEXT, 3, reinterpret_cast<LPARAM>(item));
    EXPECT_EQ(std::wstring(item), L"Registration-free manifest (*.manifest)");
    HWND name =
        FindControl(dialog, 0x47c) ? FindControl(dialog, 0x47c) : FindControl(dialog, 0x480);
    EXPECT_EQ(WindowText(name), L"probe_class.reg");
    ::SendMessageW(types, CB_SETCURSEL, 3, 0);
    // A mouse pick sends both; the dialog takes the type on the second.
    for (const WORD note : {CBN_SELCHANGE, CBN_SELENDOK})
        ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(0x470, note),
                       reinterpret_cast<LPARAM>(types));
    // The suggested name follows the type: once it kept ".reg" for WiX.
    EXPECT_TRUE(WaitUntil([&] { return WindowText(name) == L"probe_class.manifest"; }))
        << WindowText(name).size();
    // A name without extension takes the chosen type's.
    ASSERT_TRUE(ChooseInOpenDialog(dialog, dir + L"exported"));
    const std::wstring told = AnswerOutcome(w);
    EXPECT_EQ(told,
              L"ActiveX Component registration exported to \"" + dir + L"exported.manifest\".");
    const std::string manifest = ReadAll(dir + L"exported.manifest");
    EXPECT_NE(manifest.find("<comClass clsid=\"{5B1E7C2A-3F4D-4E8A-9C61-0D2F8A7B4C21}\""),
              std::string::npos)
        << manifest;
    // A name typed with another offered type's extension takes the chosen one.
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(w.Control(IDC_EXPORT)) != FALSE; }));
    PressCommand(w.Control(IDC_EXPORT));
    dialog = WaitForDialog(w.run, L"Save As");
    ASSERT_NE(dialog, nullptr);
    types = FindControl(dialog, 0x470);
    ::SendMessageW(types, CB_SETCURSEL, 1, 0);
    for (const WORD note : {CBN_SELCHANGE, CBN_SELENDOK})
        ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(0x470, note),
                       reinterpret_cast<LPARAM>(types));
    ASSERT_TRUE(ChooseInOpenDialog(dialog, dir + L"typed.reg"));
    EXPECT_EQ(AnswerOutcome(w),
              L"ActiveX Component registration exported to \"" + dir + L"typed.wxs\".");
    EXPECT_NE(ReadAll(dir + L"typed.wxs").find("<Wix"), std::string::npos);
    EXPECT_FALSE(Exists(dir + L"typed.reg"));
    HKEY found = nullptr;
    EXPECT_NE(::RegOpenKeyExW(HKEY_CLASSES_ROOT, classKey.c_str(), 0, KEY_READ, &found),
              ERROR_SUCCESS);
}

TEST(MainWindow, ForMeOnlyTickedByClickKeepsEveryKeyInTheUsersClasses) {
    ForgetProbeKeys();
    {
        MainWindowRun w;
        ASSERT_NE(w.main, nullptr);
        SetText(w.Control(IDC_FILE_PATH), FixturePath(L"probe_classes.dll"));
        HWND box = w.Control(IDC_FOR_ME_ONLY);
        ::SendMessageW(box, BM_CLICK, 0, 0);
        ASSERT_TRUE(
            WaitUntil([&] { return ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }));
        PressCommand(w.Control(IDC_REGISTER));
        EXPECT_EQ(AnswerOutcome(w), L"ActiveX Component registration successful!");
        EXPECT_TRUE(ProbeKeyUnder(HKEY_CURRENT_USER));
        EXPECT_FALSE(ProbeKeyUnder(HKEY_LOCAL_MACHINE));
        ASSERT_TRUE(
            WaitUntil([&] { return ::IsWindowEnabled(w.Control(IDC_UNREGISTER)) != FALSE; }));
        PressCommand(w.Control(IDC_UNREGISTER));
        EXPECT_EQ(AnswerOutcome(w), L"ActiveX Component unregistration successful!");
        EXPECT_FALSE(ProbeKeyUnder(HKEY_CURRENT_USER));
        EXPECT_FALSE(ProbeKeyUnder(HKEY_LOCAL_MACHINE));
    }
    ForgetProbeKeys();
}

TEST(MainWindow, SpaceOnAFocusedButtonWithoutAccessKeyPressesIt) {
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    SelectTab(w.main, 1);
    HWND first = w.Control(IDC_FIRST_FILE_PATH);
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(first); }));
    ::PostMessageW(first, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    ::PostMessageW(first, WM_LBUTTONUP, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return FocusOf(w.main) == first; }));
    ::PostMessageW(first, WM_KEYDOWN, VK_TAB, 0);
    HWND dots = w.Control(IDC_SELECT_FIRST_FILE);
    ASSERT_TRUE(WaitUntil([&] { return FocusOf(w.main) == dots; }));
    ::PostMessageW(dots, WM_KEYDOWN, VK_SPACE, 0);
    ::PostMessageW(dots, WM_KEYUP, VK_SPACE, 0);
    HWND dialog = WaitForDialog(w.run, L"Open");
    ASSERT_NE(dialog, nullptr);
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(dialog) || !::IsWindowVisible(dialog); }));
    EXPECT_EQ(w.TextOnceIs(IDC_FIRST_FILE_PATH, L""), L"");
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
    ASSERT_TRUE(ModuleLoaded(pid, calvorn::platform::OwnProgramFileName().c_str()));
    // The file dialog's library, the shell and the text window come when
    // first used.
    EXPECT_FALSE(ModuleLoaded(pid, L"comdlg32.dll"));
    EXPECT_FALSE(ModuleLoaded(pid, L"shell32.dll"));
    EXPECT_FALSE(HasWindowOfClass(pid, L"Calvorn.CellTextWindow"));
    PressCommand(w.Control(IDC_BROWSE));
    HWND dialog = WaitForDialog(w.run, L"Open");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(ModuleLoaded(pid, L"comdlg32.dll"));
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(dialog) || !::IsWindowVisible(dialog); }));
}
