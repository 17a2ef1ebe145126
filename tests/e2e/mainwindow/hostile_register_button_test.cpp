// The Register button with components that misbehave: the same message as
// on the command line, the window still there afterwards, no host left.

#include "e2e/hostile/misbehaviours.h"
#include "e2e/quiet/batch_runner.h"
#include "e2e/registration/e2e_helpers.h"
#include "main_window_driver.h"
#include "platform/text.h"
#include "ui/resource_ids.h"

#include <gtest/gtest.h>

using namespace calvorn::test;
using namespace calvorn::ui;
using namespace std::chrono_literals;

TEST(HostileRegisterButton, EveryMisbehaviourIsToldAndTheWindowStays) {
    CleanProbeRegistry();
    MainWindowRun w;
    ASSERT_NE(w.main, nullptr);
    for (const Misbehaviour& m : Misbehaviours()) {
        SCOPED_TRACE(calvorn::platform::Narrow(m.file));
        SetText(w.Control(IDC_FILE_PATH), FixturePath(m.file));
        PressCommand(w.Control(IDC_REGISTER));
        auto box = w.run.WaitForMessageBox(30s);
        ASSERT_TRUE(box.has_value())
            << "no message; the program's exit code: " << w.run.WaitForExit(0ms).value_or(~0u);
        // Read again: a window just back from a long wait may answer late.
        EXPECT_TRUE(WaitUntil([&] { return WindowText(box->hwnd) == L"Calvorn - Registering"; }));
        EXPECT_EQ(box->text, ToldAbout(m, true));
        w.run.Answer(*box, IDOK);
        EXPECT_TRUE(WaitUntil([] { return !ProcessRuns(kHost); })) << "host left running";
        EXPECT_TRUE(WaitUntil([&] { return !ProcessRuns(m.file); })) << "server left running";
        ASSERT_TRUE(::IsWindow(w.main));
        EXPECT_FALSE(w.run.WaitForExit(0ms).has_value()) << "the program ended";
    }
    CleanProbeRegistry();
}

// An EXE server registers itself for the machine: "For me only", "-r -user"
// and "-q -r -user" refuse it alike, in the same words, and never start it.
TEST(HostileRegisterButton, AnExeServerForOneUserIsRefusedInEveryMode) {
    CleanProbeRegistry();
    const std::wstring server = CopyInto(FixturePath(L"probe_server.exe"),
                                         MakeScratchDir(L"exe-per-user"), L"probe_server.exe");
    const std::wstring refusal =
        L"0x80070032: " + calvorn::platform::SystemMessage(ERROR_NOT_SUPPORTED);
    const std::wstring told = L"Selected file could not be started!\n" + refusal;
    {
        MainWindowRun w;
        ASSERT_NE(w.main, nullptr);
        SetText(w.Control(IDC_FILE_PATH), server);
        HWND forMe = w.Control(IDC_FOR_ME_ONLY);
        ::SendMessageW(forMe, BM_CLICK, 0, 0);
        ASSERT_TRUE(
            WaitUntil([&] { return ::SendMessageW(forMe, BM_GETCHECK, 0, 0) == BST_CHECKED; }));
        PressCommand(w.Control(IDC_REGISTER));
        auto box = w.run.WaitForMessageBox(30s);
        ASSERT_TRUE(box.has_value());
        EXPECT_EQ(box->text, told);
        w.run.Answer(*box, IDOK);
    }
    DriveResult r = RunCalvorn(L"-r -user " + Quoted(server), {IDYES, IDOK});
    ASSERT_EQ(r.boxes.size(), 2u);
    EXPECT_EQ(r.boxes[1].text, told);
    BatchResult quiet = RunBatch(L"-q -r " + Quoted(server) + L" -user");
    EXPECT_EQ(quiet.cmdExit, std::optional<DWORD>(8));
    ASSERT_FALSE(quiet.err.empty());
    EXPECT_EQ(quiet.err[0], "not-started \"" + calvorn::platform::Narrow(server) + "\" " +
                                calvorn::platform::Narrow(refusal));
    EXPECT_FALSE(ProbeText(L"probe_server.exe", L"Switch").has_value()) << "the server ran";
    CleanProbeRegistry();
}

// A pipe given as the file to report on opens the window at once; reading it
// would wait for ever for its server to write.
TEST(HostileRegisterButton, APipeAsTheReportedFileDoesNotBlock) {
    const wchar_t* pipeName = L"\\\\.\\pipe\\calvorn-test-report-pipe";
    HANDLE pipe =
        ::CreateNamedPipeW(pipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 4, 512, 512, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    {
        MainWindowRun w(Quoted(pipeName));
        EXPECT_NE(w.main, nullptr);
    }
    ::CloseHandle(pipe);
}
