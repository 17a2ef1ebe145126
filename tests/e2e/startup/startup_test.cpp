// The real program, started and driven from outside.

#include "support/program_driver.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

using namespace calvorn::test;
using namespace std::chrono_literals;

TEST(Startup, EmptyCommandLineShowsTheMainWindowWithItsTitle) {
    ProgramRun run(ProgramPath(), L"");
    ASSERT_TRUE(run.Started());
    HWND main = run.WaitForWindow(L"Calvorn.frmMain", 20s);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(WindowText(main), L"Calvorn v.1.0   (build 1)");
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    auto code = run.WaitForExit(20s);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0u);
}

TEST(Startup, SwitchAnsweredNoEndsWithoutTheMainWindow) {
    RunTranscript t = RunAndAnswer(L"-r \"C:\\nowhere\\a.dll\"", {IDNO});
    ASSERT_TRUE(t.exitCode.has_value());
    ASSERT_EQ(t.boxes.size(), 1u);
    EXPECT_EQ(t.boxes[0].title, L"Calvorn - Registering ActiveX");
    EXPECT_EQ(t.boxes[0].text, L"Are You Sure?");
    EXPECT_FALSE(t.mainWindowSeen);
}
