// The machine scan as a script runs it: three registrations broken on
// purpose are listed (and nothing else that was not there before), "-fix"
// removes them after a backup, and importing the backup puts them back
// exactly.

#include "batch_runner.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

using namespace calvorn;
using namespace calvorn::test;

namespace {

const wchar_t* kClassesClsid = L"{7A3C9E51-2B64-4D1F-8E0A-5C6B7D8E9F12}";
const wchar_t* kOrphanProgId = L"CalvornScan.Orphan";
const wchar_t* kOrphanClsid = L"{C41B0E7D-5A2F-4C39-9E18-2D6F7A8B9C01}";
const wchar_t* kLinkClsid = L"{0F2E6B3D-8C41-4A7E-B95D-3E1C7A6F2D40}";
const wchar_t* kLinkServerClsid = L"{0F2E6B3D-8C41-4A7E-B95D-3E1C7A6F2D41}";
const wchar_t* kView64Clsid = L"{0F2E6B3D-8C41-4A7E-B95D-3E1C7A6F2D42}";
const wchar_t* kOwnProxyInterface = L"{0F2E6B3D-8C41-4A7E-B95D-3E1C7A6F2D43}";
const wchar_t* kGoneLibrary = L"{0F2E6B3D-8C41-4A7E-B95D-3E1C7A6F2D44}";
const wchar_t* kVictim = L"Software\\CalvornVictim";

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
    // Put back by the program, whatever bitness the registry editor would
    // have had: each key in the view it was removed from.
    BatchResult restored = RunBatch(L"-q -restore \"" + outFolder + found.cFileName + L"\"");
    EXPECT_EQ(restored.cmdExit.value_or(99), 0u) << restored.outBytes;
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

namespace {

constexpr REGSAM k64 = KEY_WOW64_64KEY;

HKEY Create(HKEY root, const std::wstring& path, REGSAM view, DWORD options = 0) {
    HKEY key = nullptr;
    EXPECT_EQ(::RegCreateKeyExW(root, path.c_str(), 0, nullptr, options,
                                KEY_ALL_ACCESS | KEY_CREATE_LINK | view, nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << platform::Narrow(path);
    return key;
}

void SetValue(HKEY key, const std::wstring& name, DWORD type, const void* data, std::size_t size) {
    EXPECT_EQ(::RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data),
                               static_cast<DWORD>(size)),
              ERROR_SUCCESS);
}

void SetString(HKEY key, const std::wstring& name, const std::wstring& text, DWORD type = REG_SZ) {
    SetValue(key, name, type, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

// A registry link at `path` that leads to `target` ("\Registry\Machine\...").
void MakeLink(HKEY root, const std::wstring& path, const std::wstring& target) {
    HKEY link = Create(root, path, k64, REG_OPTION_CREATE_LINK);
    SetValue(link, L"SymbolicLinkValue", REG_LINK, target.data(), target.size() * sizeof(wchar_t));
    ::RegCloseKey(link);
}

bool IsLink(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), REG_OPTION_OPEN_LINK, KEY_READ | k64, &key) !=
        ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    const bool link = ::RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr,
                                         nullptr) == ERROR_SUCCESS &&
                      type == REG_LINK;
    ::RegCloseKey(key);
    return link;
}

// Deleted as the link it is: a delete by name would go through it.
void DeleteLink(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), REG_OPTION_OPEN_LINK, DELETE | k64, &key) !=
        ERROR_SUCCESS)
        return;
    using NtDeleteKeyFn = LONG(NTAPI*)(HANDLE);
    auto deleteKey = reinterpret_cast<NtDeleteKeyFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtDeleteKey")));
    deleteKey(key);
    ::RegCloseKey(key);
}

std::wstring OnlyBackupIn(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    HANDLE find = ::FindFirstFileW((folder + L"calvorn-backup-*.reg").c_str(), &found);
    EXPECT_NE(find, INVALID_HANDLE_VALUE);
    if (find == INVALID_HANDLE_VALUE)
        return {};
    ::FindClose(find);
    return folder + found.cFileName;
}

} // namespace

// A broken user class with a link planted below it, and a class whose server
// key is a link: the scan reads neither through, -fix takes the link away
// as a link and leaves what it led to, and the restore makes it a link again.
TEST_F(ScanE2E, LinksAreNeverFollowedAndGoAsTheLinksTheyAre) {
    const std::wstring user = L"Software\\Classes\\CLSID\\";
    const std::wstring target = L"\\Registry\\Machine\\" + std::wstring(kVictim);
    struct Cleanup {
        std::wstring user;
        ~Cleanup() {
            DeleteLink(HKEY_CURRENT_USER, user + kLinkClsid + L"\\Planted");
            DeleteLink(HKEY_CURRENT_USER, user + kLinkServerClsid + L"\\InprocServer32");
            ::RegDeleteKeyExW(HKEY_CURRENT_USER, (user + kLinkServerClsid).c_str(), k64, 0);
            ::RegDeleteTreeW(HKEY_CURRENT_USER, (user + kLinkClsid).c_str());
            ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kVictim, k64, 0);
        }
    } cleanup{user};
    HKEY victim = Create(HKEY_LOCAL_MACHINE, kVictim, k64);
    SetString(victim, L"CalvornVictimValue", L"must stay");
    ::RegCloseKey(victim);
    const std::string victimBefore = Dump(HKEY_LOCAL_MACHINE, kVictim, k64);
    HKEY broken = Create(HKEY_CURRENT_USER, user + kLinkClsid + L"\\InprocServer32", k64);
    SetString(broken, L"", L"C:\\nowhere\\linked.dll");
    ::RegCloseKey(broken);
    MakeLink(HKEY_CURRENT_USER, user + kLinkClsid + L"\\Planted", target);
    ::RegCloseKey(Create(HKEY_CURRENT_USER, user + kLinkServerClsid, k64));
    MakeLink(HKEY_CURRENT_USER, user + kLinkServerClsid + L"\\InprocServer32", target);
    ASSERT_TRUE(IsLink(HKEY_CURRENT_USER, user + kLinkClsid + L"\\Planted"));

    const std::set<std::string> found = ScanLines();
    const std::vector<std::string> lines(found.begin(), found.end());
    EXPECT_TRUE(HasLine(lines, "{\"view\":\"user\",\"kind\":\"link\",\"key\":\"HKEY_CURRENT_USER"
                               "\\\\Software\\\\Classes\\\\CLSID\\\\" +
                                   platform::Narrow(kLinkServerClsid) +
                                   "\\\\InprocServer32\",\"missing\":\"" + JsonText(target) +
                                   "\",\"state\":\"unknown\"}"))
        << ::testing::PrintToString(lines);
    EXPECT_TRUE(HasLine(lines, "\"kind\":\"class server\",\"key\":\"HKEY_CURRENT_USER\\\\Software"
                               "\\\\Classes\\\\CLSID\\\\" +
                                   platform::Narrow(kLinkClsid) + "\","));

    const std::wstring outFolder = MakeScratchDir(L"scan-links");
    BatchResult fixed = RunBatch(L"-q -scan -fix -out \"" + outFolder + L"scan.txt\"");
    EXPECT_EQ(fixed.cmdExit.value_or(99), 0u) << fixed.outBytes;
    EXPECT_EQ(Dump(HKEY_LOCAL_MACHINE, kVictim, k64), victimBefore);
    EXPECT_EQ(Dump(HKEY_CURRENT_USER, user + kLinkClsid, k64), "<none>");
    EXPECT_TRUE(IsLink(HKEY_CURRENT_USER, user + kLinkServerClsid + L"\\InprocServer32"));
    const std::wstring backup = OnlyBackupIn(outFolder);
    const std::string bytes = ReadAll(backup);
    std::wstring text(bytes.size() / 2, L'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * 2);
    EXPECT_EQ(text.find(L"CalvornVictimValue"), std::wstring::npos);
    EXPECT_NE(text.find(L"\\CLSID\\" + std::wstring(kLinkClsid) + L"\\Planted]"),
              std::wstring::npos);

    // A link planted where the backup puts its keys back is not written
    // through: those keys are not restored, and say so.
    MakeLink(HKEY_CURRENT_USER, user + kLinkClsid, target);
    BatchResult blocked = RunBatch(L"-q -restore \"" + backup + L"\"");
    EXPECT_EQ(blocked.cmdExit.value_or(99), 22u) << blocked.outBytes;
    EXPECT_TRUE(HasLine(blocked.err, "a registry link is in its place"))
        << ::testing::PrintToString(blocked.err);
    EXPECT_EQ(Dump(HKEY_LOCAL_MACHINE, kVictim, k64), victimBefore);
    DeleteLink(HKEY_CURRENT_USER, user + kLinkClsid);

    BatchResult restored = RunBatch(L"-q -restore \"" + backup + L"\"");
    EXPECT_EQ(restored.cmdExit.value_or(99), 0u)
        << restored.outBytes << ::testing::PrintToString(restored.err);
    EXPECT_TRUE(IsLink(HKEY_CURRENT_USER, user + kLinkClsid + L"\\Planted"));
    EXPECT_EQ(Dump(HKEY_LOCAL_MACHINE, kVictim, k64), victimBefore);
}

// Every kind of name and value a .reg line cannot hold raw: removed, then
// written back by -restore exactly, the whole key compared.
TEST_F(ScanE2E, TheBackupHoldsEveryNameAndValueAndTheRestoreWritesThemBack) {
    const std::wstring classKey = L"CLSID\\" + std::wstring(kOrphanClsid);
    SetText(classKey + L"\\InprocServer32", L"C:\\nowhere\\values.dll");
    HKEY values = Create(HKEY_CLASSES_ROOT, classKey + L"\\Values", 0);
    const DWORD number = 0x12345678;
    const unsigned long long wide = 0x1122334455667788ULL;
    const wchar_t multi[] = L"one\0two\0\0";
    const BYTE odd[] = {0x41, 0x00, 0x42};
    SetString(values, L"", L"default");
    SetString(values, L"plain", L"text");
    SetString(values, L"line\r\nend", L"a CR LF in the name");
    SetString(values, L"cr\ronly", L"x");
    SetString(values, L"lf\nonly", L"y");
    SetString(values, L"]\r\n[HKEY_CURRENT_USER\\Software\\CalvornForged]", L"forged?");
    SetString(values, L"with \"quotes\" and \\back\\slashes\\", L"\"quoted\" \\ data");
    SetString(values, L"tab\there;=@", L"data\r\nwith a line end");
    SetString(values, L"unicode \u00e9\u4e2d", L"\u00e9\u4e2d");
    SetString(values, L"expand", L"%SystemRoot%\\x", REG_EXPAND_SZ);
    SetValue(values, L"multi", REG_MULTI_SZ, multi, sizeof multi);
    SetValue(values, L"binary", REG_BINARY, "\x01\x02\xff", 3);
    SetValue(values, L"empty binary", REG_BINARY, nullptr, 0);
    SetValue(values, L"dword", REG_DWORD, &number, sizeof number);
    SetValue(values, L"big endian", REG_DWORD_BIG_ENDIAN, &number, sizeof number);
    SetValue(values, L"qword", REG_QWORD, &wide, sizeof wide);
    SetValue(values, L"none", REG_NONE, "\x05", 1);
    SetValue(values, L"odd string", REG_SZ, odd, sizeof odd);
    SetValue(values, L"type 0x99", 0x99, "\x07\x08", 2);
    ::RegCloseKey(values);
    const std::wstring path = L"Software\\Classes\\" + classKey;
    const std::string before = Dump(HKEY_LOCAL_MACHINE, path, KEY_WOW64_32KEY);
    ASSERT_NE(before.find("line\r\nend"), std::string::npos) << before;

    const std::wstring outFolder = MakeScratchDir(L"scan-values");
    BatchResult fixed = RunBatch(L"-q -scan -fix -out \"" + outFolder + L"scan.txt\"");
    EXPECT_EQ(fixed.cmdExit.value_or(99), 0u)
        << fixed.outBytes << ::testing::PrintToString(fixed.err);
    EXPECT_EQ(Dump(HKEY_LOCAL_MACHINE, path, KEY_WOW64_32KEY), "<none>");
    const std::wstring backup = OnlyBackupIn(outFolder);

    BatchResult restored = RunBatch(L"-q -restore \"" + backup + L"\"");
    EXPECT_EQ(restored.cmdExit.value_or(99), 0u)
        << restored.outBytes << ::testing::PrintToString(restored.err);
    EXPECT_EQ(Dump(HKEY_LOCAL_MACHINE, path, KEY_WOW64_32KEY), before);
    HKEY forged = nullptr;
    EXPECT_NE(::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\CalvornForged", 0, KEY_READ, &forged),
              ERROR_SUCCESS);

    // A file that names a key outside the classes keys is refused whole.
    std::string tampered = ReadAll(backup);
    std::wstring wide16(tampered.size() / 2, L'\0');
    std::memcpy(wide16.data(), tampered.data(), wide16.size() * 2);
    const std::wstring::size_type at = wide16.rfind(L"HKEY_LOCAL_MACHINE\\Software\\Classes");
    ASSERT_NE(at, std::wstring::npos);
    wide16.replace(at, 35, L"HKEY_LOCAL_MACHINE\\Software\\Calvorn");
    tampered.assign(reinterpret_cast<const char*>(wide16.data()), wide16.size() * 2);
    const std::wstring bad = outFolder + L"tampered.reg";
    HANDLE file = ::CreateFileW(bad.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(file, tampered.data(), static_cast<DWORD>(tampered.size()), &written, nullptr);
    ::CloseHandle(file);
    BatchResult refused = RunBatch(L"-q -restore \"" + bad + L"\"");
    EXPECT_EQ(refused.cmdExit.value_or(99), 22u) << refused.outBytes;
    EXPECT_TRUE(HasLine(refused.err, "not-restored \"" + platform::Narrow(bad) + "\""));
}

// What still works stays: a class another server serves loses only the
// server that is gone, its ProgID stays; an interface with a proxy of its
// own loses only its stale TypeLib; a 64-bit class named through
// %CommonProgramFiles% is judged in the 64-bit folder.
TEST_F(ScanE2E, WhatStillWorksIsKept) {
    const std::wstring classKey = L"CLSID\\" + std::wstring(kClassesClsid);
    const std::wstring iface = L"Interface\\" + std::wstring(kOwnProxyInterface);
    const std::wstring view64 = L"Software\\Classes\\CLSID\\" + std::wstring(kView64Clsid);
    const std::wstring common = L"C:\\Program Files\\Common Files\\CalvornScan";
    struct Cleanup {
        std::wstring iface, view64, common;
        ~Cleanup() {
            ::RegDeleteTreeW(HKEY_CLASSES_ROOT, iface.c_str());
            HKEY classes = nullptr;
            if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID", 0,
                                KEY_ALL_ACCESS | k64, &classes) == ERROR_SUCCESS) {
                ::RegDeleteTreeW(classes, kView64Clsid);
                ::RegCloseKey(classes);
            }
            ::DeleteFileW((common + L"\\probe_classes64.dll").c_str());
            ::RemoveDirectoryW(common.c_str());
        }
    } cleanup{iface, view64, common};
    wchar_t windows[MAX_PATH];
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    SetText(classKey + L"\\InprocServer32", L"C:\\nowhere\\inproc.dll");
    SetText(classKey + L"\\LocalServer32", std::wstring(windows) + L"\\regedit.exe /embedding");
    SetText(kOrphanProgId + std::wstring(L"\\CLSID"), kClassesClsid);
    SetText(iface + L"\\ProxyStubClsid32", L"{00020420-0000-0000-C000-000000000046}");
    SetText(iface + L"\\TypeLib", kGoneLibrary);
    ::CreateDirectoryW(common.c_str(), nullptr);
    ASSERT_TRUE(::CopyFileW(FixturePath(L"probe_classes64.dll").c_str(),
                            (common + L"\\probe_classes64.dll").c_str(), FALSE));
    HKEY server = Create(HKEY_LOCAL_MACHINE, view64 + L"\\InprocServer32", k64);
    SetString(server, L"", L"%CommonProgramFiles%\\CalvornScan\\probe_classes64.dll",
              REG_EXPAND_SZ);
    ::RegCloseKey(server);

    const std::set<std::string> found = ScanLines();
    const std::vector<std::string> lines(found.begin(), found.end());
    EXPECT_TRUE(HasLine(lines, "\"kind\":\"class server\",\"key\":\"HKEY_LOCAL_MACHINE\\\\Software"
                               "\\\\Classes\\\\Wow6432Node\\\\" +
                                   JsonText(classKey) + "\\\\InprocServer32\""))
        << ::testing::PrintToString(lines);
    EXPECT_TRUE(HasLine(lines, "\"kind\":\"interface\",\"key\":\"HKEY_LOCAL_MACHINE\\\\Software"
                               "\\\\Classes\\\\Wow6432Node\\\\" +
                                   JsonText(iface) + "\\\\TypeLib\""));
    EXPECT_FALSE(HasLine(lines, platform::Narrow(kView64Clsid))) << ::testing::PrintToString(lines);
    EXPECT_FALSE(HasLine(lines, platform::Narrow(kOrphanProgId)));

    const std::wstring outFolder = MakeScratchDir(L"scan-works");
    BatchResult fixed = RunBatch(L"-q -scan -fix -out \"" + outFolder + L"scan.txt\"");
    EXPECT_EQ(fixed.cmdExit.value_or(99), 0u)
        << fixed.outBytes << ::testing::PrintToString(fixed.err);
    const auto there = [](const std::wstring& key) {
        HKEY h = nullptr;
        const bool open =
            ::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) == ERROR_SUCCESS;
        if (open)
            ::RegCloseKey(h);
        return open;
    };
    EXPECT_FALSE(there(classKey + L"\\InprocServer32"));
    EXPECT_TRUE(there(classKey + L"\\LocalServer32"));
    EXPECT_TRUE(there(kOrphanProgId + std::wstring(L"\\CLSID")));
    EXPECT_FALSE(there(iface + L"\\TypeLib"));
    EXPECT_TRUE(there(iface + L"\\ProxyStubClsid32"));
    EXPECT_NE(Dump(HKEY_LOCAL_MACHINE, view64, k64), "<none>");
}
