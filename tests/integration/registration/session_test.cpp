// Registration through the registration host, from this process: a fresh
// host for each component, started ahead, what a component prints kept but
// never believed, per-user registration, the
// host of the component's bitness, waits that let window messages through,
// and the names that are no files.

#include "fixtures/com/probe_registry.h"
#include "inspection/image_file.h"
#include "platform/disk_file.h"
#include "platform/program_parts.h"
#include "platform/text.h"
#include "registration/machine_watch.h"
#include "registration/registration_prompter.h"
#include "registration/registration_session.h"
#include "support/polling.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <thread>

using namespace calvorn;
using namespace calvorn::registration;
using namespace calvorn::test;
using namespace std::chrono_literals;

namespace {

const std::wstring kUserTypeLib = L"Software\\Classes\\" + std::wstring(kProbeTypeLib);

std::vector<DWORD> HostProcesses() {
    std::vector<DWORD> pids;
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
         more = ::Process32NextW(snapshot, &entry))
        if (_wcsicmp(entry.szExeFile,
                     platform::PartFileName(platform::ProgramPart::RegistrationHost,
                                            platform::OwnBitness())
                         .c_str()) == 0)
            pids.push_back(entry.th32ProcessID);
    ::CloseHandle(snapshot);
    return pids;
}

bool NoHostEventually() {
    return WaitUntil([] { return HostProcesses().empty(); }, 5s);
}

class Session : public ::testing::Test {
  protected:
    void SetUp() override { CleanProbeRegistry(); }
    void TearDown() override {
        CleanProbeRegistry();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kUserTypeLib.c_str());
    }
};

} // namespace

TEST_F(Session, EachComponentHasAFreshHostStartedAhead) {
    const std::wstring good = FixturePath(L"probe_good.dll");
    {
        RegistrationSession ahead;
        for (int i = 0; i < 6; ++i)
            EXPECT_TRUE(ahead.Prepare(good));
        EXPECT_FALSE(ahead.Prepare(good)) << "six wait at most";
        // Started on a thread of the session's own, while this one goes on.
        EXPECT_TRUE(WaitUntil([&] { return HostProcesses().size() == 6; }, 5s));
        EXPECT_EQ(ahead.Run(good, Operation::Register).status, rsRegistered);
        EXPECT_TRUE(WaitUntil([&] { return HostProcesses().size() == 5; }, 5s))
            << "the used host ends with its component";
    }
    EXPECT_TRUE(NoHostEventually()) << "the hosts started ahead end with their session";
    {
        RegistrationSession session;
        session.Prepare(good);
        EXPECT_EQ(session.Run(good, Operation::Register).status, rsRegistered);
        EXPECT_TRUE(NoHostEventually());
        EXPECT_EQ(session.Run(FixturePath(L"probe_plain.dll"), Operation::Register).status,
                  rsNotActiveX);
        EngineOutcome notModule =
            session.Run(FixturePath(L"not_a_module.dll"), Operation::Register);
        EXPECT_EQ(notModule.status, rsLoadFailed);
        EXPECT_NE(notModule.code, 0);
        EXPECT_EQ(session.Run(good, Operation::Unregister).status, rsUnregistered);

        EngineOutcome crashed = session.Run(FixturePath(L"probe_crash.dll"), Operation::Register);
        EXPECT_EQ(crashed.status, rsRegisterFailed);
        EXPECT_EQ(crashed.ending, Ending::Crashed);
        EXPECT_EQ(static_cast<DWORD>(crashed.code), EXCEPTION_ACCESS_VIOLATION);
        EXPECT_TRUE(NoHostEventually()) << "the crashed host is ended";

        // One that undoes OLE once too often damages only its own host.
        EXPECT_EQ(session.Run(FixturePath(L"probe_ole_undone.dll"), Operation::Register).status,
                  rsRegistered);
        EXPECT_EQ(session.Run(good, Operation::Register).status, rsRegistered);
        EXPECT_EQ(ProbeNumber(L"probe_good.dll"), 1u) << "no apartment in the host";

        // A thread of the component that outlives its entry point goes with
        // its host.
        EXPECT_EQ(session.Run(FixturePath(L"probe_thread_left.dll"), Operation::Register).status,
                  rsRegistered);
        EXPECT_TRUE(NoHostEventually()) << "the host with a stray thread is ended";
        EXPECT_EQ(session.Run(FixturePath(L"probe_thread_left.dll"), Operation::Unregister).status,
                  rsUnregistered);
        session.Prepare(good);
    }
    EXPECT_TRUE(NoHostEventually()) << "the session's end ends the host it started ahead";
}

// Only the host's own records decide: what a component prints is kept for
// a failure's words and changes nothing.
TEST_F(Session, WhatAComponentPrintsIsKeptNotBelieved) {
    RegistrationSession session;
    EngineOutcome printing = session.Run(FixturePath(L"probe_prints.dll"), Operation::Register);
    EXPECT_EQ(printing.status, rsRegistered);
    EXPECT_EQ(printing.ending, Ending::Finished);
    EngineOutcome forging = session.Run(FixturePath(L"probe_forges.dll"), Operation::Register);
    EXPECT_EQ(forging.status, rsRegisterFailed);
    EXPECT_EQ(forging.ending, Ending::Crashed);
    EXPECT_EQ(forging.printed.size(), 32u);
    EngineOutcome thrown = session.Run(FixturePath(L"probe_cpp_throw.dll"), Operation::Register);
    EXPECT_EQ(thrown.status, rsRegisterFailed);
    EXPECT_EQ(thrown.ending, Ending::ExitedEarly);
    EXPECT_EQ(thrown.exitCode, 3u) << "the runtime's abort";
    EXPECT_NE(DescribePrinted(thrown).find(L"terminate"), std::wstring::npos)
        << calvorn::platform::Narrow(DescribePrinted(thrown));
}

TEST_F(Session, PerUserRegistrationLandsInTheUsersClasses) {
    RegistrationSession session;
    session.Options().perUser = true;
    const std::wstring good = FixturePath(L"probe_good.dll");
    ASSERT_EQ(session.Run(good, Operation::Register).status, rsRegistered);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kUserTypeLib));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUserTypeLib));
    ASSERT_EQ(session.Run(good, Operation::Unregister).status, rsUnregistered);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUserTypeLib));
}

TEST_F(Session, TheHostFollowsTheComponentsBitness) {
    // A 64-bit header (the rest need not load): no 64-bit host is built here.
    std::wstring wide = MakeScratchDir(L"machine") + L"wide.dll";
    std::string bytes = ReadAll(FixturePath(L"probe_good.dll"));
    const std::uint32_t pe = *reinterpret_cast<const std::uint32_t*>(bytes.data() + 0x3C);
    bytes[pe + 4] = '\x64';
    bytes[pe + 5] = '\x86';
    WriteText(wide, bytes);
    EngineOutcome out = RunRegistration(wide, Operation::Register);
    EXPECT_EQ(out.status, rsLoadFailed);
    EXPECT_EQ(out.ending, Ending::HostMissing);
    EXPECT_EQ(MessageFor(Operation::Register, out)->text,
              L"Selected file could not be loaded into memory!\n"
              L"Selected file is a 64-bit component; the 64-bit part of Calvorn is missing.");
}

namespace {

bool g_dispatched = false;
LRESULT CALLBACK NoteDispatch(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_APP)
        g_dispatched = true;
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

} // namespace

// A short bound here; the program's own 10 s one is driven end to end.
TEST_F(Session, AWaitThatPumpsLetsTheWindowWorkAndTheOverstayerIsEnded) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = NoteDispatch;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"CalvornTestPumpedWait";
    ::RegisterClassW(&wc);
    HWND window = ::CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    const std::wstring hang = FixturePath(L"probe_hang.dll");
    for (auto style : {platform::WaitStyle::Block, platform::WaitStyle::PumpMessages}) {
        g_dispatched = false;
        ::PostMessageW(window, WM_APP, 0, 0);
        EngineOutcome out = RunRegistration(hang, Operation::Unregister, {false, style, 2000});
        EXPECT_EQ(out.status, rsUnregisterFailed);
        EXPECT_EQ(out.ending, Ending::TimedOut);
        EXPECT_TRUE(out.timedOut);
        EXPECT_EQ(g_dispatched, style == platform::WaitStyle::PumpMessages);
        EXPECT_TRUE(NoHostEventually());
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&msg);
    }
    ::DestroyWindow(window);
}

TEST(DiskFiles, DevicesAndPipesByNameFoldersByLook) {
    for (const wchar_t* name :
         {L"\\\\.\\pipe\\x", L"\\\\?\\pipe\\x", L"\\\\.\\COM1", L"//./pipe/x", L"CON", L"nul",
          L"C:\\x\\con.dll", L"C:\\x\\Com3.ocx", L"conout$", L"\\\\?\\GLOBALROOT\\Device\\Null"})
        EXPECT_TRUE(platform::NamesDeviceOrPipe(name)) << platform::Narrow(name);
    for (const wchar_t* name :
         {L"C:\\x\\a.dll", L"\\\\?\\C:\\x\\a.dll", L"\\\\?\\UNC\\s\\h\\a.dll",
          L"\\\\server\\share\\a.dll", L"console.dll", L"com10.dll", L"a.dll", L"C:\\conx\\a.dll"})
        EXPECT_FALSE(platform::NamesDeviceOrPipe(name)) << platform::Narrow(name);
    EXPECT_FALSE(platform::MayBeDiskFile(BuildDir()));
    EXPECT_TRUE(platform::MayBeDiskFile(FixturePath(L"probe_good.dll")));
    EXPECT_TRUE(platform::MayBeDiskFile(FixturePath(L"missing.dll")));
    EngineOutcome folder = RunRegistration(BuildDir(), Operation::Register);
    EXPECT_EQ(folder.status, rsLoadFailed);
    EXPECT_EQ(folder.ending, Ending::NotAFile);
}

namespace {

const std::wstring kWatchedClass = L"{E5CA00F1-7A11-4C0E-9E5C-CA1F0000E5CA}";
const std::wstring kOtherClass = L"{E5CA00F2-7A11-4C0E-9E5C-CA1F0000E5CA}";
const std::wstring kMirrored = L"{E5CA00F3-7A11-4C0E-9E5C-CA1F0000E5CA}";
const std::wstring kOutside = L"Software\\CalvornWatchProbe";

void Put(HKEY root, const std::wstring& path, REGSAM view = 0) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, &key,
                                nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(key, L"", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4);
    ::RegCloseKey(key);
}

void Clean() {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        HKEY classes = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID", 0,
                            KEY_ALL_ACCESS | view, &classes) == ERROR_SUCCESS) {
            for (const std::wstring& name : {kWatchedClass, kOtherClass})
                ::RegDeleteTreeW(classes, name.c_str());
            ::RegCloseKey(classes);
        }
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE,
                          (L"Software\\Classes\\Interface\\" + kMirrored).c_str(), view, 0);
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kOutside.c_str(), view, 0);
    }
    ::RegDeleteKeyW(HKEY_CURRENT_CONFIG, kOutside.c_str());
}

std::string Joined(const std::optional<std::vector<std::wstring>>& names) {
    std::string text;
    for (const std::wstring& name : names.value_or(std::vector<std::wstring>{}))
        text += platform::Narrow(name) + "\n";
    return text;
}

} // namespace

// The keys changed while a capture ran are named, new or removed, wherever a
// registration can reach; what nobody touched, and the other view's copy of
// an interface the component registered, are not.
TEST(MachineWatchTest, NamesWhatChangedAndNothingElse) {
    // The component is of this test's bitness: its keys land in this
    // process's view, and the system mirrors its interfaces into the other.
    const bool sixtyFourBit = sizeof(void*) == 8;
    const platform::Bitness bitness =
        sixtyFourBit ? platform::Bitness::x64 : platform::Bitness::x86;
    const REGSAM otherView = sixtyFourBit ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    Clean();
    Put(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID\\" + kOtherClass);
    Put(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Interface\\" + kMirrored, otherView);
    {
        MachineWatch quiet(bitness);
        EXPECT_EQ(Joined(quiet.Changes({})), "");
    }
    MachineWatch watch(bitness);
    Put(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID\\" + kWatchedClass + L"\\InprocServer32");
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\CLSID\\" + kOtherClass).c_str());
    Put(HKEY_CURRENT_CONFIG, kOutside);
    Put(HKEY_LOCAL_MACHINE, kOutside);
    Put(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Interface\\" + kMirrored, otherView);
    const std::vector<CapturedKey> touched = {
        {CapturedRoot::LocalMachine, kOutside, {}},
        {CapturedRoot::ClassesRoot, L"Interface\\" + kMirrored, {}}};
    const std::string named = Joined(watch.Changes(touched));
    const bool twoViews = platform::SixtyFourBitWindows() && !sixtyFourBit;
    const std::string classes = twoViews ? "HKLM\\Software\\Classes\\Wow6432Node\\CLSID\\"
                                         : "HKLM\\Software\\Classes\\CLSID\\";
    const std::string outside =
        "HKLM\\" + platform::Narrow(kOutside) + (twoViews ? " (32-bit view)" : "");
    for (const std::string& line : {classes + platform::Narrow(kWatchedClass),
                                    classes + platform::Narrow(kWatchedClass) + "\\InprocServer32",
                                    classes + platform::Narrow(kOtherClass) + " (removed)",
                                    "HKCC\\" + platform::Narrow(kOutside), outside})
        EXPECT_NE(named.find(line + "\n"), std::string::npos) << line << " in\n" << named;
    EXPECT_EQ(named.find(platform::Narrow(kMirrored)), std::string::npos) << named;
    Clean();
}
