// The real program, started and driven from outside.

#include "inspection/image_file.h"
#include "support/program_driver.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

#include <cctype>

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

namespace {

struct OwnerWindows {
    DWORD pid = 0;
    std::vector<std::wstring> classes;
};

BOOL CALLBACK CollectOfProcess(HWND hwnd, LPARAM lp) {
    auto* owner = reinterpret_cast<OwnerWindows*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid == owner->pid)
        owner->classes.push_back(ClassNameOf(hwnd));
    return TRUE;
}

// The classes of every top-level window of the process that shows `box`,
// hidden ones too.
std::vector<std::wstring> WindowClassesOfOwner(const SeenMessageBox& box) {
    OwnerWindows owner;
    ::GetWindowThreadProcessId(box.hwnd, &owner.pid);
    ::EnumWindows(CollectOfProcess, reinterpret_cast<LPARAM>(&owner));
    return owner.classes;
}

} // namespace

TEST(Startup, SwitchActionsNeverCreateTheMainOrTheTextWindow) {
    const std::wstring scratch = MakeScratchDir(L"switch_windows");
    ScopedEnvironment reportDir(L"CALVORN_REPORT_DIR", scratch);
    ScopedEnvironment openLog(L"CALVORN_OPEN_LOG", scratch + L"\\opened.log");
    for (const wchar_t* line :
         {L"-r \"C:\\nowhere\\a.dll\"", L"-u \"C:\\nowhere\\a.dll\"", L"-f \"C:\\nowhere\""}) {
        std::vector<std::wstring> seen;
        RunTranscript t = RunAndAnswer(line, {IDNO}, 60s, {}, {}, [&](const SeenMessageBox& box) {
            if (box.text == L"Are You Sure?")
                seen = WindowClassesOfOwner(box);
        });
        ASSERT_TRUE(t.exitCode.has_value()) << line;
        ASSERT_FALSE(seen.empty()) << line;
        for (const std::wstring& cls : seen) {
            EXPECT_NE(cls, L"Calvorn.frmMain") << line;
            EXPECT_NE(cls, L"Calvorn.frmDisplay") << line;
        }
    }
}

// The program starts on the system DLLs every run needs; the others are bound
// on first call, so that a quiet run never loads the window's DLLs.
TEST(Startup, OnlyTheDllsEveryRunNeedsAreLoadedAtStart) {
    const auto module = calvorn::inspection::ReadModuleFactsOf(ProgramPath());
    ASSERT_EQ(module.read, calvorn::inspection::ModuleRead::Read);
    for (const auto& import : module.facts.imports) {
        std::string dll = import.dll;
        for (char& c : dll)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(dll == "kernel32.dll" || dll == "advapi32.dll" || dll == "msvcrt.dll")
            << import.dll << " is loaded at start: add its functions to deferred_imports.inc";
    }
}
