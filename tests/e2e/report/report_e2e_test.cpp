// A path alone on the command line: the real program opens on the report
// of that file, read here off its list view from outside.

#include "support/list_view_reader.h"
#include "support/program_driver.h"
#include "support/test_paths.h"
#include "support/typelib_keys.h"
#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <commctrl.h>

using namespace calvorn::test;
using namespace std::chrono_literals;
using calvorn::ui::IDC_COMPARISON_GRID;
using calvorn::ui::IDC_FILE_PATH;
using calvorn::ui::IDC_REPORT_GRID;
using Rows = std::vector<std::vector<std::wstring>>;

namespace {

struct Opened {
    Rows rows;
    std::wstring filePath;
    bool reportVisible = false;
    bool comparisonVisible = true;
    LRESULT tab = -1;
};

Opened OpenOnCommandLine(const std::wstring& arguments) {
    Opened o;
    ProgramRun run(ProgramPath(), arguments);
    EXPECT_TRUE(run.Started());
    HWND main = run.WaitForWindow(L"Calvorn.MainWindow", 30s);
    EXPECT_NE(main, nullptr);
    if (!main)
        return o;
    HWND grid = FindControl(main, IDC_REPORT_GRID);
    o.rows = ReadListViewRows(grid);
    o.filePath = WindowText(FindControl(main, IDC_FILE_PATH));
    o.reportVisible = ::IsWindowVisible(grid);
    o.comparisonVisible = ::IsWindowVisible(FindControl(main, IDC_COMPARISON_GRID));
    o.tab = ::SendMessageW(FindControl(main, calvorn::ui::IDC_TABS), TCM_GETCURSEL, 0, 0);
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    auto code = run.WaitForExit(20s);
    EXPECT_TRUE(code.has_value());
    return o;
}

} // namespace

TEST(BarePath, RelativeNameOpensTheReportOfTheFileBesideTheProgram) {
    // No ":\" in the path: it is taken from the program's folder.
    Opened o = OpenOnCommandLine(L"\"fixtures\\tl_none.dll\"");
    EXPECT_EQ(o.filePath, BuildDir() + L"fixtures\\tl_none.dll");
    EXPECT_EQ(o.tab, 0);
    EXPECT_TRUE(o.reportVisible);
    EXPECT_FALSE(o.comparisonVisible);
    ASSERT_EQ(o.rows.size(), 23u);
    EXPECT_EQ(o.rows[0], (std::vector<std::wstring>{L"File Info", L""}));
    EXPECT_EQ(o.rows[1][0], L"CompanyName: ");
    EXPECT_EQ(o.rows[10][0], L"Extended File Info");
    EXPECT_EQ(o.rows[17][0], L"Flags: ");
    const Rows module = {{L"Module", L""},
                         {L"Machine: ", L"x86 (32-bit)"},
                         {L"Kind: ", L"DLL"},
                         {L"Entry Points: ", L"None"},
                         {L"Missing DLLs: ", L"None"}};
    EXPECT_EQ(Rows(o.rows.begin() + 18, o.rows.end()), module);
}

TEST(BarePath, RegisteredLibraryReportHasItsRegistrationAndFileInfo) {
    ScopedTypeLibKeys keys(kAlphaGuid);
    const std::wstring path = FixturePath(L"tl_alpha.dll");
    ASSERT_TRUE(keys.AddVersion(L"1.0", L"Alpha one", path));
    Opened o = OpenOnCommandLine(L"\"" + path + L"\"");
    EXPECT_EQ(o.filePath, path);
    ASSERT_EQ(o.rows.size(), 33u);
    const Rows head = {{L"TypeLib Info", L""},
                       {L"TypeLib Name:", L"CalvornAlpha (Calvorn fixture library Alpha)"},
                       {L"GUID:", kAlphaGuid},
                       {L"Version:", L"1.0"},
                       {L"Registered", L"Yes"},
                       {L"Path: ", path},
                       {L"File Info", L""}};
    EXPECT_EQ(Rows(o.rows.begin(), o.rows.begin() + 7), head);
    EXPECT_EQ(o.rows[16][0], L"Extended File Info");
    // The library is registered to this very file.
    EXPECT_EQ(o.rows[29], (std::vector<std::wstring>{L"Registration", L""}));
    EXPECT_EQ(o.rows[30], (std::vector<std::wstring>{L"Verdict:", L"Registered here"}));
}

TEST(BarePath, ForwardSlashesNameTheFileItself) {
    std::wstring slashed = FixturePath(L"tl_none.dll");
    for (wchar_t& c : slashed)
        if (c == L'\\')
            c = L'/';
    Opened o = OpenOnCommandLine(L"\"" + slashed + L"\"");
    EXPECT_EQ(o.filePath, FixturePath(L"tl_none.dll"));
    EXPECT_EQ(o.rows, OpenOnCommandLine(L"\"" + FixturePath(L"tl_none.dll") + L"\"").rows);
}

TEST(BarePath, ALongPathKeepsItsTypeLibrarySection) {
    std::wstring folder = MakeScratchDir(L"long");
    folder.pop_back();
    while (folder.size() < 280) {
        folder += L"\\a_rather_long_folder_name_to_pass_max_path";
        ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr));
    }
    const std::wstring path = folder + L"\\tl_alpha.dll";
    ASSERT_TRUE(::CopyFileW((L"\\\\?\\" + FixturePath(L"tl_alpha.dll")).c_str(),
                            (L"\\\\?\\" + path).c_str(), FALSE));
    Opened o = OpenOnCommandLine(L"\"" + path + L"\"");
    EXPECT_EQ(o.filePath, path); // the report names the long path
    ASSERT_GE(o.rows.size(), 3u);
    EXPECT_EQ(o.rows[0], (std::vector<std::wstring>{L"TypeLib Info", L""}));
    EXPECT_EQ(o.rows[1], (std::vector<std::wstring>{
                             L"TypeLib Name:", L"CalvornAlpha (Calvorn fixture library Alpha)"}));
    EXPECT_EQ(o.rows[2], (std::vector<std::wstring>{L"GUID:", kAlphaGuid}));
}
