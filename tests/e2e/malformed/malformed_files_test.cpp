// More than a thousand malformed components through the real program: the
// folder report over all of them and the component report on a sample.
// Crashes and hangs are what this looks for: the program must end normally
// and account for every file.

#include "support/program_driver.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace calvorn::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// Made by the test run's set-up step from tests/corpus/malformed_seeds.
std::wstring MalformedDir() {
    return BuildDir() + L"scratch\\malformed";
}

std::vector<std::wstring> MalformedFiles() {
    std::vector<std::wstring> files;
    for (const auto& entry : fs::directory_iterator(fs::path(MalformedDir())))
        files.push_back(entry.path().wstring());
    std::sort(files.begin(), files.end());
    return files;
}

size_t CountOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(MalformedFiles, FolderReportAccountsForEveryFile) {
    const std::vector<std::wstring> files = MalformedFiles();
    ASSERT_GE(files.size(), 1000u);
    const std::wstring out = MakeScratchDir(L"malformed-report");
    ScopedEnvironment reportDir(L"CALVORN_REPORT_DIR", out);
    ScopedEnvironment openLog(L"CALVORN_OPEN_LOG", out + L"opened.log");

    RunTranscript t = RunAndAnswer(L"-f \"" + MalformedDir() + L"\"", {IDYES}, 600s);
    ASSERT_TRUE(t.exitCode.has_value()) << "the report did not end";
    EXPECT_EQ(*t.exitCode, 0u);
    ASSERT_EQ(t.boxes.size(), 1u) << "only the confirmation may be shown";

    std::string report = ReadAll(out + L"output.txt");
    if (report.rfind("\xEF\xBB\xBF", 0) == 0)
        report.erase(0, 3); // the UTF-8 mark of a report beyond ASCII
    EXPECT_EQ(CountOf(report, "\r\nFile: ") + (report.rfind("File: ", 0) == 0 ? 1 : 0),
              files.size());
    EXPECT_EQ(CountOf(report, "Flags: "), files.size());
}

TEST(MalformedFiles, ComponentReportOnASample) {
    const std::vector<std::wstring> files = MalformedFiles();
    ASSERT_GE(files.size(), 1000u);
    int opened = 0;
    for (size_t i = 0; i < files.size(); i += 37) {
        ProgramRun run(ProgramPath(), L"\"" + files[i] + L"\"");
        HWND main = run.WaitForWindow(L"Calvorn.frmMain", 30s);
        ASSERT_NE(main, nullptr) << "no main window for " << fs::path(files[i]).string();
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        auto code = run.WaitForExit(30s);
        ASSERT_TRUE(code.has_value()) << "hung on " << fs::path(files[i]).string();
        EXPECT_EQ(*code, 0u) << fs::path(files[i]).string();
        ++opened;
    }
    EXPECT_GE(opened, 30);
}
