// Two copies of one component registered in turn: "-q -check" and the
// report's "Registration" section tell which copy the machine knows.

#include "batch_runner.h"
#include "support/list_view_reader.h"
#include "ui/main_window.h"

using namespace calvorn;
using namespace calvorn::test;
using namespace std::chrono_literals;

namespace {

// What the twin probe registers, in every place it can land.
void ForgetTwin() {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            HKEY classes = nullptr;
            if (::RegOpenKeyExW(root, L"Software\\Classes", 0, KEY_ALL_ACCESS | view, &classes) !=
                ERROR_SUCCESS)
                continue;
            for (const wchar_t* key :
                 {L"CLSID\\{5B1E7C2A-3F4D-4E8A-9C61-0D2F8A7B4C22}", L"CalvornProbe.Twin",
                  L"TypeLib\\{5B1E7C2A-3F4D-4E8A-9C61-0D2F8A7B4C21}",
                  L"Interface\\{5B1E7C2A-3F4D-4E8A-9C61-0D2F8A7B4C23}"})
                ::RegDeleteTreeW(classes, key);
            ::RegCloseKey(classes);
        }
}

class RegistrationCheckE2E : public ::testing::Test {
  protected:
    void SetUp() override { ForgetTwin(); }
    void TearDown() override { ForgetTwin(); }
};

// The report grid's rows from "Registration" on, as the window shows them.
std::vector<std::vector<std::wstring>> RegistrationSection(const std::wstring& file) {
    ProgramRun run(ProgramPath(), Quoted(file));
    HWND main = run.WaitForWindow(L"Calvorn.MainWindow", 30s);
    EXPECT_NE(main, nullptr);
    if (!main)
        return {};
    auto rows = ReadListViewRows(FindControl(main, ui::IDC_GRIDINFO));
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(run.WaitForExit(20s).has_value());
    auto at = std::find_if(rows.begin(), rows.end(), [](const auto& row) {
        return !row.empty() && row[0] == L"Registration";
    });
    return {at, rows.end()};
}

} // namespace

TEST_F(RegistrationCheckE2E, TheSecondCopyRegisteredTellsTheFirstWhereItsClassesGo) {
    const std::wstring first =
        CopyInto(FixturePath(L"probe_twin.dll"), MakeScratchDir(L"twin-first"), L"probe_twin.dll");
    const std::wstring second =
        CopyInto(FixturePath(L"probe_twin.dll"), MakeScratchDir(L"twin-second"), L"probe_twin.dll");
    const std::string a = platform::Narrow(first), b = platform::Narrow(second);
    const std::wstring both = Quoted(first) + L" " + Quoted(second);

    BatchResult r = RunBatch(L"-q -check " + both);
    EXPECT_EQ(r.errorLevel, "17");
    ASSERT_EQ(RunBatch(L"-q -r " + Quoted(first)).errorLevel, "0");
    r = RunBatch(L"-q -check " + both);
    EXPECT_EQ(r.errorLevel, "18");
    const std::string elsewhere = "Registered to another copy: " + a + " (2.1.7.9)";
    const std::vector<std::string> expected = {"File: " + a, "Registration: Registered here",
                                               "File: " + b, "Registration: " + elsewhere};
    std::vector<std::string> blocks;
    for (const std::string& line : r.out)
        if (line.rfind("File: ", 0) == 0 || line.rfind("Registration: ", 0) == 0)
            blocks.push_back(line);
    EXPECT_EQ(blocks, expected) << r.outBytes;
    // The entries are what the component's own code writes, run against a
    // scratch key: the class, its ProgID, its library and its interface.
    EXPECT_NE(r.outBytes.find("Checked: From the component's own registration code"),
              std::string::npos);
    for (const char* entry : {"Class Calvorn twin probe {5B1E7C2A-3F4D-4E8A-9C61-0D2F8A7B4C22}: ",
                              "ProgID CalvornProbe.Twin: ",
                              "Type library {5B1E7C2A-3F4D-4E8A-9C61-0D2F8A7B4C21} 2.1: "})
        EXPECT_NE(r.outBytes.find(entry + std::string("Registered here\r\n")), std::string::npos)
            << entry << r.outBytes;
    EXPECT_NE(r.outBytes.find("Class Calvorn twin probe {5B1E7C2A-3F4D-4E8A-9C61-0D2F8A7B4C22}: "
                              "Registered to another file: " +
                              a + " (2.1.7.9)"),
              std::string::npos)
        << r.outBytes;
    ASSERT_EQ(r.err.size(), 1u);
    EXPECT_EQ(r.err[0], "registered-elsewhere \"" + b + "\" " + elsewhere);

    // Registered in turn: now the first copy is the other one, in the window too.
    ASSERT_EQ(RunBatch(L"-q -r " + Quoted(second)).errorLevel, "0");
    r = RunBatch(L"-q -check " + Quoted(second) + L" -format jsonl");
    EXPECT_EQ(r.errorLevel, "0");
    ASSERT_EQ(r.out.size(), 1u);
    EXPECT_NE(r.out[0].find("\"verdict\":\"registered\""), std::string::npos) << r.out[0];
    EXPECT_NE(r.out[0].find("\"kind\":\"interface\""), std::string::npos) << r.out[0];
    // An output that cannot be written is named with its code, before any check.
    const std::wstring missing = MakeScratchDir(L"check-out") + L"missing\\check.csv";
    r = RunBatch(L"-q -check " + Quoted(second) + L" -out " + Quoted(missing));
    EXPECT_EQ(r.errorLevel, "10");
    ASSERT_EQ(r.err.size(), 1u);
    EXPECT_EQ(r.err[0].rfind("report-failed \"" + platform::Narrow(missing) + "\" 0x8007000", 0),
              0u)
        << r.err[0];

    const auto section = RegistrationSection(first);
    ASSERT_GE(section.size(), 5u);
    EXPECT_EQ(section[1], (std::vector<std::wstring>{L"Verdict:", L"Registered to another copy: " +
                                                                      second + L" (2.1.7.9)"}));
    EXPECT_EQ(section[2][1],
              L"From the type library; the component's own registration code was not run.");
    EXPECT_EQ(RegistrationSection(second)[1][1], L"Registered here");

    ASSERT_EQ(RunBatch(L"-q -u " + Quoted(second)).errorLevel, "0");
}
