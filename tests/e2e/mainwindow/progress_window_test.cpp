// The folder report's progress window, watched from outside while a long
// report runs: its bar and its words keep up with the walk.

#include "support/program_driver.h"
#include "support/test_paths.h"
#include "ui/progress_window.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <set>
#include <vector>

using namespace calvorn::test;
using namespace calvorn::ui;
using namespace std::chrono_literals;

namespace {

// Where the report goes, and a log instead of the program that opens it.
class ReportOutput {
  public:
    ReportOutput() : dir_(MakeScratchDir(L"progressout")) {
        ::SetEnvironmentVariableW(L"CALVORN_REPORT_DIR", dir_.c_str());
        ::SetEnvironmentVariableW(L"CALVORN_OPEN_LOG", (dir_ + L"opened.txt").c_str());
    }
    ~ReportOutput() {
        ::SetEnvironmentVariableW(L"CALVORN_REPORT_DIR", nullptr);
        ::SetEnvironmentVariableW(L"CALVORN_OPEN_LOG", nullptr);
    }

  private:
    std::wstring dir_;
};

} // namespace

TEST(ProgressWindow, TheBarAndTheWordsMoveAlongALongReport) {
    std::wstring folder = MakeScratchDir(L"long report");
    // Real components, each read whole: a report of a second or more.
    constexpr int kFiles = 4000;
    const std::wstring component = FixturePath(L"probe_good.dll");
    for (int i = 0; i < kFiles; ++i) {
        const std::wstring name = folder + L"f" + std::to_wstring(10000 + i) + L".dll";
        ASSERT_TRUE(::CreateHardLinkW(name.c_str(), component.c_str(), nullptr) ||
                    ::CopyFileW(component.c_str(), name.c_str(), FALSE));
    }
    ReportOutput output;
    ProgramRun run(ProgramPath(), L"-f \"" + folder.substr(0, folder.size() - 1) + L"\"");
    ASSERT_TRUE(run.Started());
    auto box = run.WaitForMessageBox(30s);
    ASSERT_TRUE(box.has_value());
    run.Answer(*box, IDYES);
    HWND window = run.WaitForWindow(L"Calvorn.ProgressWindow", 30s);
    ASSERT_NE(window, nullptr);
    HWND bar = FindControl(window, IDC_PROGRESS_BAR);
    HWND count = FindControl(window, IDC_PROGRESS_COUNT);
    HWND file = FindControl(window, IDC_PROGRESS_FILE);
    ASSERT_NE(bar, nullptr);

    // Read from outside as the eye would, until the window goes.
    std::vector<int> positions;
    std::set<std::wstring> counts, files;
    const auto end = std::chrono::steady_clock::now() + 120s;
    while (::IsWindowVisible(window) && std::chrono::steady_clock::now() < end) {
        DWORD_PTR pos = 0;
        if (::SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 2000, &pos) &&
            (positions.empty() || static_cast<int>(pos) != positions.back()))
            positions.push_back(static_cast<int>(pos));
        // The text the window holds, without a message: the program answers
        // messages only between its files.
        for (auto [control, seen] : {std::pair{count, &counts}, std::pair{file, &files}}) {
            wchar_t text[MAX_PATH] = {};
            ::InternalGetWindowText(control, text, MAX_PATH);
            seen->insert(text);
        }
    }
    auto told = run.WaitForMessageBox(20s);
    if (told)
        run.Answer(*told, IDOK);
    run.WaitForExit(30s);

    EXPECT_GE(positions.size(), 10u) << "distinct positions seen: " << positions.size();
    for (size_t i = 1; i < positions.size(); ++i)
        EXPECT_GT(positions[i], positions[i - 1]);
    // The words go with the bar: how far, and the file in hand.
    EXPECT_GE(counts.size(), 10u);
    EXPECT_GE(files.size(), 10u);
}
