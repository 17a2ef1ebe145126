// The machine scan as a script runs it: three registrations broken on
// purpose are listed (and nothing else that was not there before), "-fix"
// removes them after a backup, and importing the backup puts them back
// exactly.

#include "batch_runner.h"

#include <algorithm>
#include <cstdio>
#include <set>

using namespace calvorn;
using namespace calvorn::test;

namespace {

const wchar_t* kClassesClsid = L"{7A3C9E51-2B64-4D1F-8E0A-5C6B7D8E9F12}";
const wchar_t* kOrphanProgId = L"CalvornScan.Orphan";
const wchar_t* kOrphanClsid = L"{C41B0E7D-5A2F-4C39-9E18-2D6F7A8B9C01}";

std::set<std::string> ScanLines(const std::wstring& extra = {}, DWORD expected = 15) {
    BatchResult r = RunBatch(L"-q -scan -format jsonl -out -" + extra);
    EXPECT_EQ(r.cmdExit.value_or(99) == 0 || r.cmdExit.value_or(99) == expected, true)
        << r.outBytes;
    // Standard output holds the records alone; the summary goes to standard error.
    std::set<std::string> lines;
    for (const std::string& line : r.out) {
        EXPECT_EQ(line.rfind("{", 0), 0u) << "not a record: " << line;
        lines.insert(line);
    }
    EXPECT_FALSE(r.err.empty());
    return lines;
}

// A key with everything below it, in a form two reads can be compared by.
std::string Dump(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return "<none>";
    std::string out = "[";
    out += platform::Narrow(path);
    out += "]\n";
    for (DWORD i = 0;; ++i) {
        wchar_t name[512];
        BYTE data[4096];
        DWORD nameSize = 512, dataSize = sizeof data, type = 0;
        if (::RegEnumValueW(key, i, name, &nameSize, nullptr, &type, data, &dataSize) !=
            ERROR_SUCCESS)
            break;
        out += platform::Narrow(name) + " " + std::to_string(type) + " ";
        for (DWORD b = 0; b < dataSize; ++b) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02x", data[b]);
            out += hex;
        }
        out += "\n";
    }
    std::vector<std::wstring> subkeys;
    for (DWORD i = 0;; ++i) {
        wchar_t name[512];
        DWORD size = 512;
        if (::RegEnumKeyExW(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        subkeys.emplace_back(name);
    }
    ::RegCloseKey(key);
    for (const std::wstring& sub : subkeys)
        out += Dump(root, path + L"\\" + sub, view);
    return out;
}

void SetText(const std::wstring& key, const std::wstring& text) {
    HKEY h = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                nullptr, &h, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(h);
}

void RunEntryPoint(const std::wstring& dll) {
    HMODULE module = ::LoadLibraryW(dll.c_str());
    ASSERT_NE(module, nullptr);
    using Entry = HRESULT(WINAPI*)();
    auto entry = reinterpret_cast<Entry>(
        reinterpret_cast<void*>(::GetProcAddress(module, "DllRegisterServer")));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry(), S_OK);
    ::FreeLibrary(module);
}

class ScanE2E : public CleanProbes {
  protected:
    void TearDown() override {
        for (const std::wstring& key :
             {L"CLSID\\" + std::wstring(kClassesClsid), std::wstring(L"CalvornProbe.Classes"),
              std::wstring(kOrphanProgId), L"CLSID\\" + std::wstring(kOrphanClsid)})
            ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
        CleanProbes::TearDown();
    }
};

std::string JsonText(const std::wstring& text) {
    std::string out;
    for (char c : platform::Narrow(text)) {
        out.push_back(c);
        if (c == '\\')
            out.push_back(c);
    }
    return out;
}

bool HasLine(const std::vector<std::string>& lines, const std::string& part) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

} // namespace

TEST_F(ScanE2E, ListsExactlyWhatWasBrokenFixesItAndTheBackupRestoresIt) {
    const std::set<std::string> before = ScanLines();

    // A class whose server file is deleted, a ProgID whose class key is
    // deleted, a type library whose file is pointed at nothing.
    const std::wstring folder = MakeScratchDir(L"scan");
    const std::wstring server = CopyInto(FixturePath(L"probe_classes.dll"), folder, L"gone.dll");
    RunEntryPoint(server);
    ASSERT_TRUE(::DeleteFileW(server.c_str()));
    SetText(kOrphanProgId + std::wstring(L"\\CLSID"), kOrphanClsid);
    SetText(L"CLSID\\" + std::wstring(kOrphanClsid), L"Orphaned");
    ASSERT_EQ(
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + std::wstring(kOrphanClsid)).c_str()),
        ERROR_SUCCESS);
    RunEntryPoint(FixturePath(L"probe_good.dll"));
    SetText(std::wstring(kProbeTypeLib) + L"\\0\\win32", L"C:\\nowhere\\probe.tlb");

    const std::set<std::string> broken = ScanLines();
    std::vector<std::string> added;
    std::set_difference(broken.begin(), broken.end(), before.begin(), before.end(),
                        std::back_inserter(added));
    ASSERT_EQ(added.size(), 3u) << ::testing::PrintToString(added);
    const std::string classKey = platform::Narrow(kClassesClsid);
    EXPECT_TRUE(HasLine(added, "\"kind\":\"class server\",\"key\":\"HKEY_LOCAL_MACHINE\\\\Software"
                               "\\\\Classes\\\\Wow6432Node\\\\CLSID\\\\" +
                                   classKey + "\",\"missing\":\"" + JsonText(server) + "\""));
    EXPECT_TRUE(HasLine(added, "\"kind\":\"ProgID\",\"key\":\"HKEY_LOCAL_MACHINE\\\\Software"
                               "\\\\Classes\\\\CalvornScan.Orphan\",\"missing\":\"" +
                                   platform::Narrow(kOrphanClsid)));
    EXPECT_TRUE(HasLine(added, "\"kind\":\"type library\",\"key\":\"HKEY_LOCAL_MACHINE\\\\Software"
                               "\\\\Classes\\\\TypeLib\\\\{5B1E7C2A-3F4D-4E8A-9C61-0D2F8A7B4C11}"
                               "\\\\1.0\",\"missing\":\"C:\\\\nowhere\\\\probe.tlb\""));
    for (const std::string& line : added)
        EXPECT_NE(line.find("\"state\":\"broken\""), std::string::npos) << line;

    // What the fix removes, as it stands now.
    const std::wstring typeLibKey = L"Software\\Classes\\" + std::wstring(kProbeTypeLib);
    const auto dumpAll = [&] {
        return Dump(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID\\" + std::wstring(kClassesClsid),
                    KEY_WOW64_32KEY) +
               Dump(HKEY_LOCAL_MACHINE, L"Software\\Classes\\" + std::wstring(kOrphanProgId),
                    KEY_WOW64_64KEY) +
               Dump(HKEY_LOCAL_MACHINE, typeLibKey, KEY_WOW64_64KEY) +
               // The class's ProgID would name nothing: it goes with it.
               Dump(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CalvornProbe.Classes",
                    KEY_WOW64_64KEY);
    };
    const std::string registered = dumpAll();
    ASSERT_EQ(registered.find("<none>"), std::string::npos) << registered;

    const std::wstring outFolder = MakeScratchDir(L"scan-fix");
    BatchResult fixed = RunBatch(L"-q -scan -fix -format csv -out \"" + outFolder + L"scan.csv\"");
    EXPECT_EQ(fixed.cmdExit.value_or(99), 0u) << fixed.outBytes;
    EXPECT_TRUE(HasLine(fixed.out, "backup \"" + platform::Narrow(outFolder) + "calvorn-backup-"));
    EXPECT_TRUE(HasLine(fixed.out, "removed \"HKEY_LOCAL_MACHINE\\Software\\Classes\\"
                                   "CalvornProbe.Classes\" (its class is removed)"));
    EXPECT_EQ(dumpAll(), "<none><none><none><none>");
    // Nothing broken is left; what cannot be checked stays. (Other suites
    // may have left broken registrations in the prefix: they went too, and
    // the backup brings them back with the three.)
    for (const std::string& line : ScanLines({}, 0)) {
        EXPECT_TRUE(before.contains(line)) << line;
        EXPECT_NE(line.find("\"state\":\"unknown\""), std::string::npos) << line;
    }

    WIN32_FIND_DATAW found{};
    HANDLE find = ::FindFirstFileW((outFolder + L"calvorn-backup-*.reg").c_str(), &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    ::FindClose(find);
    wchar_t windows[MAX_PATH];
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    {
        ProgramRun import(std::wstring(windows) + L"\\regedit.exe",
                          L"/s \"" + outFolder + found.cFileName + L"\"");
        EXPECT_EQ(import.WaitForExit(std::chrono::seconds(60)).value_or(99), 0u);
    }
    EXPECT_EQ(dumpAll(), registered);
    EXPECT_EQ(ScanLines(), broken);
}

// A 64-bit server in the 32-bit view is broken; a server on a share cannot
// be checked, is "unknown" and stays.
TEST_F(ScanE2E, OtherBitnessIsBrokenAndAShareIsUnknownAndKept) {
    const std::wstring wrong = L"CLSID\\" + std::wstring(kOrphanClsid);
    const std::wstring shared = L"CLSID\\" + std::wstring(kClassesClsid);
    SetText(wrong + L"\\InprocServer32", FixturePath(L"probe_classes64.dll"));
    SetText(shared + L"\\InprocServer32", L"\\\\calvorn-nowhere\\share\\probe.dll");
    const std::set<std::string> found = ScanLines();
    const std::vector<std::string> lines(found.begin(), found.end());
    EXPECT_TRUE(HasLine(lines, "\"kind\":\"bitness\",\"key\":\"HKEY_LOCAL_MACHINE\\\\Software\\\\"
                               "Classes\\\\Wow6432Node\\\\" +
                                   JsonText(wrong) + "\",\"missing\":\"" +
                                   JsonText(FixturePath(L"probe_classes64.dll")) +
                                   " (64-bit)\",\"state\":\"broken\"}"));
    EXPECT_TRUE(HasLine(lines, JsonText(shared) +
                                   "\",\"missing\":\"\\\\\\\\calvorn-nowhere\\\\share\\\\probe.dll"
                                   "\",\"state\":\"unknown\"}"));

    const std::wstring outFolder = MakeScratchDir(L"scan-unknown");
    BatchResult fixed = RunBatch(L"-q -scan -fix -out \"" + outFolder + L"scan.txt\"");
    EXPECT_EQ(fixed.cmdExit.value_or(99), 0u) << fixed.outBytes;
    HKEY key = nullptr;
    EXPECT_NE(::RegOpenKeyExW(HKEY_CLASSES_ROOT, wrong.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CLASSES_ROOT, shared.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    ::RegCloseKey(key);
}

// A broken class with a line end in a name below it cannot be backed up
// faithfully (the name could forge keys in the backup): it stays, told.
TEST_F(ScanE2E, AKeyTheBackupCannotHoldIsNotRemoved) {
    const std::wstring forged = L"CLSID\\" + std::wstring(kOrphanClsid);
    SetText(forged + L"\\InprocServer32", L"C:\\nowhere\\forged.dll");
    SetText(forged + L"\\x]\r\n[HKEY_CURRENT_USER\\Software\\CalvornForged", L"forged");
    const std::wstring outFolder = MakeScratchDir(L"scan-forged");
    BatchResult fixed = RunBatch(L"-q -scan -fix -out \"" + outFolder + L"scan.txt\"");
    EXPECT_EQ(fixed.cmdExit.value_or(99), 16u) << fixed.outBytes;
    EXPECT_TRUE(HasLine(fixed.err, "not-repaired \"HKEY_LOCAL_MACHINE\\Software\\Classes\\"
                                   "Wow6432Node\\" +
                                       platform::Narrow(forged) +
                                       "\" a name below it cannot be written to a .reg file"))
        << ::testing::PrintToString(fixed.err);
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CLASSES_ROOT, forged.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    ::RegCloseKey(key);
    EXPECT_NE(::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\CalvornForged", 0, KEY_READ, &key),
              ERROR_SUCCESS);
}
