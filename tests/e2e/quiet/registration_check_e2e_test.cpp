// Two copies of one component registered in turn: "-q -check" and the
// report's "Registration" section tell which copy the machine knows.

#include "batch_runner.h"
#include "support/list_view_reader.h"
#include "support/typelib_keys.h"
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
    auto rows = ReadListViewRows(FindControl(main, ui::IDC_REPORT_GRID));
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

// Registered through the system folder's name by the 32-bit program: the
// registration names System32, the file lies in its 32-bit twin, and a path
// with "." and ".." names it too.
TEST_F(RegistrationCheckE2E, TheThirtyTwoBitSystemFolderIsTheOneSystem32NamesForItsCode) {
    wchar_t system[MAX_PATH], wow[MAX_PATH];
    if (sizeof(void*) != 4 || !::GetSystemWow64DirectoryW(wow, MAX_PATH))
        GTEST_SKIP() << "only the 32-bit program on 64-bit Windows sees the twin folder";
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring inTwin = std::wstring(wow) + L"\\calvorn_twin_probe.dll";
    ASSERT_TRUE(::CopyFileW(FixturePath(L"probe_twin.dll").c_str(), inTwin.c_str(), FALSE));
    const std::wstring named = std::wstring(system) + L"\\calvorn_twin_probe.dll";
    ASSERT_EQ(RunBatch(L"-q -r " + Quoted(named)).errorLevel, "0");
    const std::wstring twinName = std::wstring(wow).substr(std::wstring(wow).rfind(L'\\') + 1);
    const std::wstring dotted =
        std::wstring(system) + L"\\..\\" + twinName + L"\\.\\calvorn_twin_probe.dll";
    BatchResult r = RunBatch(L"-q -check " + Quoted(inTwin));
    EXPECT_EQ(r.errorLevel, "0") << r.outBytes;
    EXPECT_EQ(r.outBytes.find("another"), std::string::npos) << r.outBytes;
    EXPECT_EQ(RunBatch(L"-q -check " + Quoted(dotted)).errorLevel, "0");
    EXPECT_EQ(RunBatch(L"-q -u " + Quoted(named)).errorLevel, "0");
    ::DeleteFileW(inTwin.c_str());
}

// A library file is judged and registered as a library: its one entry, at
// this path or another, for the machine or for one user.
TEST_F(RegistrationCheckE2E, ALibraryFileIsRegisteredAndCheckedAsALibrary) {
    const std::wstring first =
        CopyInto(FixturePath(L"probe_twin.tlb"), MakeScratchDir(L"tlb-first"), L"twin.tlb");
    const std::wstring second =
        CopyInto(FixturePath(L"probe_twin.tlb"), MakeScratchDir(L"tlb-second"), L"twin.tlb");
    const std::string library = "Type library {5B1E7C2A-3F4D-4E8A-9C61-0D2F8A7B4C21} 2.1: ";
    BatchResult r = RunBatch(L"-q -check " + Quoted(first));
    EXPECT_EQ(r.errorLevel, "17");
    EXPECT_NE(r.outBytes.find(library + "Not registered\r\n"), std::string::npos) << r.outBytes;
    EXPECT_EQ(r.outBytes.find("Class"), std::string::npos) << r.outBytes;

    r = RunBatch(L"-q -r " + Quoted(first));
    ASSERT_EQ(r.errorLevel, "0") << r.outBytes;
    EXPECT_EQ(r.out[0], "registered \"" + platform::Narrow(first) + "\"");
    EXPECT_EQ(RunBatch(L"-q -check " + Quoted(first)).errorLevel, "0");
    r = RunBatch(L"-q -check " + Quoted(second));
    EXPECT_EQ(r.errorLevel, "18");
    EXPECT_NE(r.outBytes.find(library + "Registered to another file: " + platform::Narrow(first)),
              std::string::npos)
        << r.outBytes;
    ASSERT_EQ(RunBatch(L"-q -u " + Quoted(first)).errorLevel, "0");
    EXPECT_EQ(RunBatch(L"-q -check " + Quoted(first)).errorLevel, "17");

    // For this user: the user's classes hold it, and it goes again.
    ASSERT_EQ(RunBatch(L"-q -r -user " + Quoted(second)).errorLevel, "0");
    r = RunBatch(L"-q -check " + Quoted(second));
    EXPECT_EQ(r.errorLevel, "0");
    EXPECT_NE(r.outBytes.find(library + "Registered here (this user)"), std::string::npos)
        << r.outBytes;
    ASSERT_EQ(RunBatch(L"-q -u -user " + Quoted(second)).errorLevel, "0");
    EXPECT_EQ(RunBatch(L"-q -check " + Quoted(second)).errorLevel, "17");
    // A file that holds no library is refused as such.
    const std::wstring notALibrary =
        CopyInto(FixturePath(L"not_a_module.dll"), MakeScratchDir(L"tlb-none"), L"none.tlb");
    EXPECT_EQ(RunBatch(L"-q -r " + Quoted(notALibrary)).errorLevel, "3");
}

// Never registered is not registered: a file without registration code or
// library, and a 64-bit library whose 32-bit build alone is registered.
TEST_F(RegistrationCheckE2E, NothingRegisteredIsNotRegistered) {
    BatchResult r = RunBatch(L"-q -check " + Quoted(FixturePath(L"probe_plain.dll")));
    EXPECT_EQ(r.errorLevel, "17");
    ASSERT_EQ(r.err.size(), 1u);
    EXPECT_NE(r.err[0].find("not-registered"), std::string::npos);
    EXPECT_NE(r.err[0].find("the file registers nothing"), std::string::npos) << r.err[0];

    const std::wstring versionKey =
        std::wstring(L"Software\\Classes\\TypeLib\\") + kAlphaGuid + L"\\1.0";
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (versionKey + L"\\0\\win32").c_str(), 0,
                                nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key,
                                nullptr),
              ERROR_SUCCESS);
    const std::wstring elsewhere = FixturePath(L"tl_alpha.dll");
    ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(elsewhere.c_str()),
                     static_cast<DWORD>((elsewhere.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    r = RunBatch(L"-q -check " + Quoted(FixturePath(L"tl_alpha64.dll")));
    EXPECT_EQ(r.errorLevel, "17") << r.outBytes;
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        HKEY libraries = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\TypeLib", 0,
                            KEY_ALL_ACCESS | view, &libraries) != ERROR_SUCCESS)
            continue;
        ::RegDeleteTreeW(libraries, kAlphaGuid);
        ::RegCloseKey(libraries);
    }
}
