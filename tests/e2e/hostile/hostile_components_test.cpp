// Components that misbehave: the program stays alive, tells the truth in its
// usual message (with what happened on the second line), never reports
// success for a failure, and leaves no host or server running.

#include "e2e/hostile/misbehaviours.h"
#include "e2e/quiet/batch_runner.h"
#include "e2e/registration/e2e_helpers.h"
#include "platform/text.h"

#include <gtest/gtest.h>

using namespace calvorn::test;

class HostileComponents : public CleanProbes {};

TEST_F(HostileComponents, EveryMisbehaviourOfBothOperationsIsToldAndContained) {
    for (const Misbehaviour& m : Misbehaviours()) {
        for (bool registering : {true, false}) {
            SCOPED_TRACE(calvorn::platform::Narrow(m.file) + (registering ? " -r" : " -u"));
            // A hang is any run that outlasts the 10 s bound by far.
            DriveResult r =
                Drive(ProgramPath(),
                      std::wstring(registering ? L"-r " : L"-u ") + Quoted(FixturePath(m.file)),
                      {IDYES, IDOK}, std::chrono::seconds(30));
            ASSERT_TRUE(r.exitCode.has_value()) << "hung";
            // The box tells a person; the exit code, as -q gives it, the script.
            EXPECT_EQ(*r.exitCode == 0u, m.succeeds && !m.notUnloaded) << *r.exitCode;
            EXPECT_FALSE(r.mainWindowSeen);
            ASSERT_EQ(r.boxes.size(), 2u);
            const DrivenBox& told = r.boxes[1];
            EXPECT_EQ(told.title,
                      registering ? L"Calvorn - Registering" : L"Calvorn - UnRegistering");
            EXPECT_EQ(told.text, ToldAbout(m, registering));
            EXPECT_EQ(told.icon, static_cast<unsigned>(m.notUnloaded ? MB_ICONEXCLAMATION
                                                       : m.succeeds  ? MB_ICONASTERISK
                                                                     : MB_ICONHAND));
            EXPECT_TRUE(WaitUntil([] { return !ProcessRuns(kHost); })) << "host left running";
            EXPECT_TRUE(WaitUntil([&] { return !ProcessRuns(m.file); })) << "server left running";
        }
    }
    // The slow one was stopped before it could finish its work.
    EXPECT_FALSE(ProbeText(L"probe_slow.dll", L"Done").has_value());
    // The one that left a thread did its work; nothing crashed afterwards.
    EXPECT_EQ(ProbeText(L"probe_thread_left.dll", L"Done"), L"unregistered");
    // The ones that would not unload, or that printed, did their work too.
    EXPECT_EQ(ProbeText(L"probe_detach_hang.dll", L"Done"), L"unregistered");
    EXPECT_EQ(ProbeText(L"probe_prints.dll", L"Done"), L"unregistered");
}

// The bound follows -wait, after the file or right after the switch; a bad
// value runs nothing.
TEST_F(HostileComponents, TheWaitIsTheUsersToSet) {
    const std::wstring slow = Quoted(FixturePath(L"probe_slow.dll"));
    DriveResult r = RunCalvorn(L"-r " + slow + L" -wait 2", {IDYES, IDOK});
    ASSERT_EQ(r.boxes.size(), 2u);
    EXPECT_EQ(r.boxes[1].text, L"ActiveX Component registration failed!\n" + kWaited +
                                   L"The component did not finish within 2 seconds and was "
                                   L"stopped; the outcome is unknown (it may have written part "
                                   L"of its keys).");
    r = RunCalvorn(L"-u -wait 30 " + slow, {IDYES, IDOK});
    ASSERT_EQ(r.boxes.size(), 2u);
    EXPECT_EQ(r.boxes[1].text, L"ActiveX Component unregistration successful!");
    r = RunCalvorn(L"-r " + slow + L" -wait soon", {IDOK});
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].text, L"-wait takes whole seconds from 1 to 3600, not \"soon\"");
    EXPECT_EQ(ProbeText(L"probe_slow.dll", L"Done"), L"unregistered");
}

TEST_F(HostileComponents, EntryPointWithAMessageBoxOfItsOwn) {
    const std::wstring dll = Quoted(FixturePath(L"probe_msgbox.dll"));
    DriveResult r = RunCalvorn(L"-r " + dll, {IDYES, IDOK, IDOK});
    ASSERT_TRUE(r.exitCode.has_value());
    ASSERT_EQ(r.boxes.size(), 3u);
    EXPECT_EQ(r.boxes[1].title, L"Probe server");
    EXPECT_EQ(r.boxes[1].text, L"The probe server is registering itself.");
    EXPECT_EQ(r.boxes[2].text, L"ActiveX Component registration successful!");
    EXPECT_FALSE(r.mainWindowSeen);
}

// Names that are no files are refused by their names, before anything could
// open them and wait: a live pipe whose server never writes would block.
TEST_F(HostileComponents, PipesAndDevicesAreNotFiles) {
    const wchar_t* pipeName = L"\\\\.\\pipe\\calvorn-test-not-a-file";
    HANDLE pipe =
        ::CreateNamedPipeW(pipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 4, 512, 512, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    for (const std::wstring& path :
         {std::wstring(pipeName), std::wstring(L"C:\\windows\\con.dll")}) {
        DriveResult r =
            Drive(ProgramPath(), L"-r " + Quoted(path), {IDYES, IDOK}, std::chrono::seconds(30));
        ASSERT_TRUE(r.exitCode.has_value()) << "blocked";
        ASSERT_EQ(r.boxes.size(), 2u);
        EXPECT_EQ(r.boxes[1].text, L"Selected file could not be loaded into memory!\n"
                                   L"The path names a pipe, a device or a folder, not a file.");
    }
    ScopedEnvironment log(L"CALVORN_OPEN_LOG", MakeScratchDir(L"pipe-report") + L"opened.log");
    DriveResult report =
        Drive(ProgramPath(), L"-f \"\\\\.\\pipe\\\"", {IDYES, IDOK}, std::chrono::seconds(30));
    EXPECT_TRUE(report.exitCode.has_value()) << "the folder report blocked";
    ::CloseHandle(pipe);
}

namespace {

// The key each escaping fixture tries to write on the machine.
std::wstring EscapeMarker(int n) {
    return L"{E5CA000" + std::to_wstring(n) + L"-7A11-4C0E-9E5C-CA1F0000E5CA}";
}

bool MachineHas(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

// The service the sixth one installs, and whether it is there; taken away.
bool ServiceInstalled(bool remove) {
    SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager
                            ? ::OpenServiceW(manager, (L"CalvornEscape" + EscapeMarker(6)).c_str(),
                                             SERVICE_QUERY_STATUS | DELETE)
                            : nullptr;
    if (service && remove)
        ::DeleteService(service);
    if (service)
        ::CloseServiceHandle(service);
    if (manager)
        ::CloseServiceHandle(manager);
    return service != nullptr;
}

void RemoveMarkers() {
    ServiceInstalled(true);
    for (int n = 1; n <= 9; ++n)
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE,
                              (L"Software\\Classes\\CLSID\\" + EscapeMarker(n)).c_str(), view, 0);
            ::RegDeleteKeyExW(HKEY_CURRENT_CONFIG, (L"Software\\" + EscapeMarker(n)).c_str(), view,
                              0);
        }
}

} // namespace

// A component that reaches past the capture is either held back (the machine
// keeps its keys) or caught: exit 20 and the key it wrote, by name; never an
// export or a check that says the machine was left as it was.
TEST_F(HostileComponents, WaysPastTheCaptureAreHeldBackOrNamed) {
    RemoveMarkers();
    const wchar_t* files[] = {L"probe_escape_config.dll", L"probe_escape_unredirect.dll",
                              L"probe_escape_child.dll",  L"probe_escape_native.dll",
                              L"probe_escape_link.dll",   L"probe_escape_service.dll"};
    for (int n = 1; n <= 6; ++n) {
        SCOPED_TRACE(calvorn::platform::Narrow(files[n - 1]));
        const std::wstring file = FixturePath(files[n - 1]);
        for (const wchar_t* action : {L"-q -e ", L"-q -check "}) {
            // Another component's class, in the view of the fixtures, which
            // are of this test's bitness.
            const REGSAM fixtureView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
            HKEY victim = nullptr;
            ::RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                              (L"Software\\Classes\\CLSID\\" + EscapeMarker(9)).c_str(), 0, nullptr,
                              0, KEY_WRITE | fixtureView, nullptr, &victim, nullptr);
            ::RegCloseKey(victim);
            BatchResult r = RunBatch(action + Quoted(file) + L" -format json -out -");
            bool written = MachineHas(HKEY_CURRENT_CONFIG, L"Software\\" + EscapeMarker(n), 0) ||
                           (n == 6 && ServiceInstalled(false));
            for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
                written =
                    written || MachineHas(HKEY_LOCAL_MACHINE,
                                          L"Software\\Classes\\CLSID\\" + EscapeMarker(n), view);
            if (!written) {
                EXPECT_NE(r.errorLevel, "20");
                continue;
            }
            EXPECT_EQ(r.errorLevel, "20") << calvorn::platform::Narrow(action);
            ASSERT_FALSE(r.err.empty());
            EXPECT_EQ(
                r.err[0].rfind("changed-machine \"" + calvorn::platform::Narrow(file) + "\" ", 0),
                0u)
                << r.err[0];
            EXPECT_NE(r.err[0].find(calvorn::platform::Narrow(EscapeMarker(n))), std::string::npos)
                << r.err[0];
            if (n == 2) {
                EXPECT_NE(r.err[0].find(calvorn::platform::Narrow(EscapeMarker(9)) + " (removed)"),
                          std::string::npos)
                    << r.err[0];
            }
            // Nothing of it exported; the check's record names the key too.
            if (action == std::wstring(L"-q -e "))
                EXPECT_EQ(r.outBytes.find("E5CA0000"), std::string::npos) << r.outBytes;
            else
                EXPECT_NE(r.outBytes.find("\"changed_machine\":[\"HKLM\\\\"), std::string::npos)
                    << r.outBytes;
            RemoveMarkers();
        }
    }
    // Held back here: the hardware profile's root is captured like the others.
    EXPECT_FALSE(MachineHas(HKEY_CURRENT_CONFIG, L"Software\\" + EscapeMarker(1), 0));
    // A component that stays inside the capture is checked and says so.
    BatchResult r = RunBatch(L"-q -check " + Quoted(FixturePath(L"probe_good.dll")));
    EXPECT_NE(r.outBytes.find("the machine was not changed."), std::string::npos) << r.outBytes;
    RemoveMarkers();
}
