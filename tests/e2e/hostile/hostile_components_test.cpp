// Components that misbehave: the program stays alive, tells the truth in its
// usual message (with what happened on the second line), never reports
// success for a failure, and leaves no host or server running.

#include "e2e/registration/e2e_helpers.h"
#include "platform/text.h"

#include <gtest/gtest.h>

using namespace calvorn::test;

namespace {

const wchar_t* kHost = L"calvorn-reghost32.exe";
const std::wstring kWaited = L"0x800705B4: ";

struct Misbehaviour {
    const wchar_t* file;
    bool succeeds;
    std::wstring registerLine; // the second line for -r ("" none)
    std::wstring unregisterLine;
};

std::vector<Misbehaviour> Misbehaviours() {
    const std::wstring unknown = L"did not finish within 10 seconds and was stopped; the outcome "
                                 L"is unknown (it may have written part of its keys).";
    auto both = [](const wchar_t* file, bool ok, const std::wstring& line) {
        return Misbehaviour{file, ok, line, line};
    };
    return {
        both(L"probe_thread_left.dll", true, L""),
        both(L"probe_attach_hang.dll", false,
             kWaited + L"The component did not finish loading within 10 seconds (its DllMain "
                       L"hangs) and was stopped; its entry point never ran."),
        both(L"probe_detach_hang.dll", false,
             kWaited + L"The component's entry point returned, but the component did not unload "
                       L"within 10 seconds (its DllMain hangs) and was stopped."),
        both(L"probe_lock_hang.dll", false,
             kWaited + L"The component hung holding the system's loader lock and was stopped "
                       L"after 10 seconds; the outcome is unknown."),
        {L"probe_exit.dll", false,
         L"The component ended the registration process (exit code 42) before it finished.",
         L"The component ended the registration process (exit code 43) before it finished."},
        both(L"probe_throws.dll", false,
             L"0xE06D7363: The component crashed (C++ exception not caught)."),
        both(L"probe_slow.dll", false, kWaited + L"The component " + unknown),
        both(L"probe_server.exe", true, L""),
        both(L"probe_exe_fails.exe", false, L"The server ended with exit code 1."),
        both(L"probe_stuck_server.exe", false, kWaited + L"The server " + unknown),
    };
}

} // namespace

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
            EXPECT_EQ(*r.exitCode, 0u);
            EXPECT_FALSE(r.mainWindowSeen);
            ASSERT_EQ(r.boxes.size(), 2u);
            const DrivenBox& told = r.boxes[1];
            EXPECT_EQ(told.title,
                      registering ? L"Calvorn - Registering" : L"Calvorn - UnRegistering");
            std::wstring first = std::wstring(L"ActiveX Component ") + (registering ? L"" : L"un") +
                                 L"registration " + (m.succeeds ? L"successful!" : L"failed!");
            const std::wstring& line = registering ? m.registerLine : m.unregisterLine;
            EXPECT_EQ(told.text, line.empty() ? first : first + L"\n" + line);
            EXPECT_EQ(told.icon, static_cast<unsigned>(m.succeeds ? MB_ICONASTERISK : MB_ICONHAND));
            EXPECT_TRUE(Eventually([] { return !ProcessRuns(kHost); })) << "host left running";
            EXPECT_TRUE(Eventually([&] { return !ProcessRuns(m.file); })) << "server left running";
        }
    }
    // The slow one was stopped before it could finish its work.
    EXPECT_FALSE(ProbeText(L"probe_slow.dll", L"Done").has_value());
    // The one that left a thread did its work; nothing crashed afterwards.
    EXPECT_EQ(ProbeText(L"probe_thread_left.dll", L"Done"), L"unregistered");
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
