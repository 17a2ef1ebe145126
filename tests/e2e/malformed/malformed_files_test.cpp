// More than a thousand malformed components through the real program: the
// folder report over all of them and the component report on a sample.
// Crashes and hangs are what this looks for: the program must end normally
// and account for every file.

#include "support/program_driver.h"
#include "support/test_paths.h"
#include "unit/versions/pe_builder.h"

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
        HWND main = run.WaitForWindow(L"Calvorn.MainWindow", 30s);
        ASSERT_NE(main, nullptr) << "no main window for " << fs::path(files[i]).string();
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        auto code = run.WaitForExit(30s);
        ASSERT_TRUE(code.has_value()) << "hung on " << fs::path(files[i]).string();
        EXPECT_EQ(*code, 0u) << fs::path(files[i]).string();
        ++opened;
    }
    EXPECT_GE(opened, 30);
}

// 16-bit files whose resource tables lie (the version entry shorter than its
// fixed information made the platform's size call wrap to about 4 GB and the
// report end with nothing said), and a 32-bit block whose type word passes for
// a letter: every file gets its block and the report completes.
TEST(MalformedFiles, DamagedSixteenBitFilesLeaveTheFolderReportWhole) {
    const Bytes block =
        Entry16("VS_VERSION_INFO", FixedInfo(0x00030001, 0, 0, 0x00010001, 2, 0),
                {Entry16("StringFileInfo", {},
                         {Entry16("040904E4", {}, {String16("ProductName", "Old")})})});
    Bytes typeByte = VersionBlock({Table(u"040904E4", {String(u"ProductName", u"Typed")})});
    Put16(typeByte, 4, 0x0080);
    const Bytes withType = BuildPe({0x0409}, 16, 1, typeByte).bytes;
    const std::pair<const wchar_t*, Bytes> files[] = {
        {L"ne_good.dll", BuildNe(block)},
        {L"ne_short_entry.dll", BuildNe(block, {.lengthUnits = 1})},
        {L"ne_empty_entry.dll", BuildNe(block, {.lengthUnits = 0})},
        {L"ne_entry_past_end.exe", BuildNe(block, {.offsetUnits = 0x7FFF})},
        {L"ne_shift_40.dll", BuildNe(block, {.shift = 40})},
        {L"ne_unended_table.dll", BuildNe(block, {.type = 0x8006, .terminated = false})},
        {L"ne_names_past_table.ocx", BuildNe(block, {.type = 0x8006, .count = 0x7000})},
        {L"type_byte_80.dll", withType},
    };
    std::wstring folder = MakeScratchDir(L"damaged-ne");
    for (const auto& [name, bytes] : files)
        WriteText(folder + name, std::string(bytes.begin(), bytes.end()));
    ASSERT_TRUE(::CopyFileW(FixturePath(L"versions\\strings.dll").c_str(),
                            (folder + L"strings.dll").c_str(), FALSE));
    folder.pop_back();
    const std::wstring out = MakeScratchDir(L"damaged-ne-report");
    ScopedEnvironment reportDir(L"CALVORN_REPORT_DIR", out);
    ScopedEnvironment openLog(L"CALVORN_OPEN_LOG", out + L"opened.log");

    RunTranscript t = RunAndAnswer(L"-f \"" + folder + L"\"", {IDYES}, 120s);
    ASSERT_TRUE(t.exitCode.has_value()) << "the report did not end";
    EXPECT_EQ(*t.exitCode, 0u);
    EXPECT_EQ(t.boxes.size(), 1u) << "only the confirmation may be shown";
    const std::string report = ReadAll(out + L"output.txt");
    EXPECT_EQ(CountOf(report, "File: "), std::size(files) + 1);
    EXPECT_EQ(CountOf(report, "Flags: "), std::size(files) + 1);
    EXPECT_EQ(CountOf(report, "Product Name: Old\r\n"), 1u);
    EXPECT_EQ(CountOf(report, "Product Name: Two Tables\r\n"), 1u);
    EXPECT_EQ(report.find("Version: 83."), std::string::npos); // a key's letters as a version
}
