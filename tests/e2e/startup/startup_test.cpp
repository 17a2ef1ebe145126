// The real program, started and driven from outside.

#include "app/command_line.h"
#include "inspection/image_file.h"
#include "platform/text.h"
#include "support/program_driver.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

#include <cctype>

using namespace calvorn::test;
using namespace std::chrono_literals;

TEST(Startup, EmptyCommandLineShowsTheMainWindowWithItsTitle) {
    ProgramRun run(ProgramPath(), L"");
    ASSERT_TRUE(run.Started());
    HWND main = run.WaitForWindow(L"Calvorn.MainWindow", 20s);
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

// The usage in a box was 1,414 px tall, its title and its button off a
// 1,024 px screen; an unknown switch showed the same box and held a script.
TEST(Startup, HelpShowsTheUsageInTheTextWindowAndAnUnknownSwitchNothing) {
    RECT area{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    for (const wchar_t* line : {L"-?", L"/?"}) {
        SCOPED_TRACE(calvorn::platform::Narrow(line));
        ProgramRun run(ProgramPath(), line);
        ASSERT_TRUE(run.Started());
        HWND text = run.WaitForWindow(L"Calvorn.CellTextWindow", 20s);
        ASSERT_NE(text, nullptr);
        RECT frame{};
        ::GetWindowRect(text, &frame);
        EXPECT_GE(frame.top, area.top);
        EXPECT_LE(frame.bottom, area.bottom);
        EXPECT_GE(frame.left, area.left);
        EXPECT_LE(frame.right, area.right);
        const std::wstring shown = WindowText(FindControl(text, 1501));
        EXPECT_EQ(shown, calvorn::app::WindowUsage() + L"\r\n" + calvorn::app::QuietUsage());
        EXPECT_FALSE(run.WaitForMessageBox(0ms).has_value());
        ::PostMessageW(text, WM_CLOSE, 0, 0);
        EXPECT_EQ(run.WaitForExit(20s), std::optional<DWORD>(0));
    }
    RunTranscript t = RunAndAnswer(L"-x", {IDOK}, 30s);
    EXPECT_TRUE(t.boxes.empty());
    EXPECT_EQ(t.exitCode, std::optional<DWORD>(1));
    EXPECT_FALSE(t.mainWindowSeen);
}

TEST(Startup, ATabAfterTheQuietSwitchKeepsTheRunQuiet) {
    RunTranscript t = RunAndAnswer(L"-q\t-?", {}, 30s);
    EXPECT_TRUE(t.boxes.empty());
    EXPECT_FALSE(t.mainWindowSeen);
    EXPECT_EQ(t.exitCode, std::optional<DWORD>(0));
}

// System DLLs planted beside a copy of the program (Wine is told to prefer
// such a copy over its own for this program) are never loaded: the program
// searches the system folder only, in a window run and in a switch run.
TEST(Startup, SystemDllsPlantedBesideTheProgramAreNotLoaded) {
    const std::wstring folder = MakeScratchDir(L"planted");
    const std::wstring program = folder + L"calvorn-planted.exe";
    ASSERT_TRUE(::CopyFileW(ProgramPath().c_str(), program.c_str(), FALSE));
    const wchar_t* planted[] = {L"version", L"uxtheme", L"msimg32"};
    for (const wchar_t* name : planted)
        ASSERT_TRUE(::CopyFileW(FixturePath(L"probe_planted.dll").c_str(),
                                (folder + name + L".dll").c_str(), FALSE));
    const wchar_t* overrides = L"Software\\Wine\\AppDefaults\\calvorn-planted.exe\\DllOverrides";
    for (const wchar_t* name : planted)
        ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, overrides, name, REG_SZ, L"native,builtin",
                                    sizeof L"native,builtin"),
                  ERROR_SUCCESS);
    {
        ProgramRun run(program, L"");
        ASSERT_TRUE(run.Started());
        HWND main = run.WaitForWindow(L"Calvorn.MainWindow", 30s);
        EXPECT_NE(main, nullptr) << "the program did not come up";
        if (main) {
            // The title comes from the version resource: version.dll works.
            EXPECT_EQ(WindowText(main), L"Calvorn v.1.0   (build 1)");
            ::PostMessageW(main, WM_CLOSE, 0, 0);
            EXPECT_EQ(run.WaitForExit(20s), std::optional<DWORD>(0));
        }
    }
    RunTranscript t = RunAndAnswer(L"-r \"C:\\nowhere\\a.dll\"", {IDNO}, 60s, program);
    EXPECT_EQ(t.boxes.size(), 1u);
    EXPECT_EQ(t.exitCode, std::optional<DWORD>(0));
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\calvorn-planted.exe");
    for (const wchar_t* name : planted)
        EXPECT_FALSE(Exists(folder + name + L".dll.loaded"))
            << calvorn::platform::Narrow(name) << ".dll was loaded";
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
            EXPECT_NE(cls, L"Calvorn.MainWindow") << line;
            EXPECT_NE(cls, L"Calvorn.CellTextWindow") << line;
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
