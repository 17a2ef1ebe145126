// Components that misbehave: the program stays alive, tells the truth in its
// usual message (with what happened on the second line), never reports
// success for a failure, and leaves no host or server running.

#include "e2e/hostile/misbehaviours.h"
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
