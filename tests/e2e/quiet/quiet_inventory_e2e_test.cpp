// The inventory columns of the real program's folder report: the signature
// states with their signer and time, the module facts, the hashes, the file
// types chosen and the byte-order mark; the system folder as named.

#include "report_records.h"

#include "platform/file_system_redirection.h"

#include <wincrypt.h>

#include <set>

using namespace calvorn;
using namespace calvorn::test;

namespace {

// A made-up root in the machine's Root store for as long as this lives; the
// store writes it when closed, and only then do other processes see it.
class TrustedRoot {
  public:
    explicit TrustedRoot(const std::wstring& certificateFile) {
        const std::string der = ReadAll(certificateFile);
        certificate_ = ::CertCreateCertificateContext(
            X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), DWORD(der.size()));
        HCERTSTORE store = Open();
        added_ = store && certificate_ &&
                 ::CertAddCertificateContextToStore(store, certificate_,
                                                    CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
        if (store)
            ::CertCloseStore(store, 0);
    }
    TrustedRoot(const TrustedRoot&) = delete;
    TrustedRoot& operator=(const TrustedRoot&) = delete;
    ~TrustedRoot() {
        if (HCERTSTORE store = added_ ? Open() : nullptr) {
            if (PCCERT_CONTEXT found = ::CertFindCertificateInStore(
                    store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, certificate_, nullptr))
                ::CertDeleteCertificateFromStore(found);
            ::CertCloseStore(store, 0);
        }
        if (certificate_)
            ::CertFreeCertificateContext(certificate_);
    }
    bool Added() const { return added_; }

  private:
    static HCERTSTORE Open() {
        return ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE,
                               L"Root");
    }
    PCCERT_CONTEXT certificate_ = nullptr;
    bool added_ = false;
};

} // namespace

// Each state a signature can be in, with its signer and time, as
// sign_fixtures.py made them; the made-up root of the valid ones is trusted
// for this test only. A certificate changed to name someone else is no
// signer, and an entry that would fault Wine's provider ends no report.
TEST(QuietReportE2E, SignatureColumnsTellStateSignerAndTime) {
#if !CALVORN_SIGNED_FIXTURES
    GTEST_SKIP() << "osslsigncode or openssl was missing when the fixtures were built";
#endif
    const std::wstring folder = FixturePath(L"signature\\");
    TrustedRoot root(folder + L"root.cer");
    ASSERT_TRUE(root.Added());
    BatchResult csv = RunBatch(L"-q -f " + Quoted(folder) + L" -format csv -sig -out -");
    BatchResult json = RunBatch(L"-q -f " + Quoted(folder) + L" -format jsonl -sig -out -");
    for (const BatchResult* run : {&csv, &json})
        EXPECT_EQ(run->cmdExit, std::optional<DWORD>(0));
    EXPECT_TRUE(Lines(csv.outBytes)
                    .at(0)
                    .ends_with(",typelib_name,registration,signature,signer,signed_utc"));

    std::map<std::string, Record> rows, objects;
    for (Record& r : ParseCsv(csv.outBytes))
        rows[NameOf(r["path"])] = r;
    for (Record& r : ParseJsonLines(json.outBytes))
        objects[NameOf(r["path"])] = r;
    const std::vector<std::string> expected = Lines(ReadAll(folder + L"expected.txt"));
    ASSERT_EQ(expected.size(), 7u);
    EXPECT_EQ(rows.size(), expected.size());
    for (const std::string& line : expected) {
        // "<file> <state> <signer>|<signed_utc>"
        const size_t state = line.find(' '), signer = line.find(' ', state + 1);
        const size_t time = line.find('|');
        const std::string name = line.substr(0, state);
        SCOPED_TRACE(name);
        Record& row = rows[name];
        EXPECT_EQ(row["signature"], line.substr(state + 1, signer - state - 1));
        EXPECT_EQ(row["signer"], line.substr(signer + 1, time - signer - 1));
        EXPECT_EQ(row["signed_utc"], line.substr(time + 1));
        EXPECT_EQ(objects[name]["signature"], row["signature"]);
        EXPECT_EQ(objects[name]["signer"], row["signer"]);
        EXPECT_EQ(objects[name]["signed_utc"],
                  row["signed_utc"].empty() ? "null" : row["signed_utc"]);
    }

    // Without -sig the columns are not there at all; with text it is refused.
    BatchResult plain = RunBatch(L"-q -f " + Quoted(folder) + L" -format jsonl -out -");
    EXPECT_EQ(plain.outBytes.find("\"signature\""), std::string::npos);
    BatchResult text = RunBatch(L"-q -f " + Quoted(folder) + L" -sig -out -");
    EXPECT_EQ(text.cmdExit, std::optional<DWORD>(1));
}

// The inventory's columns on fixtures made for them, the kinds of file
// "-types" adds, the digests "-hash" adds and the mark "-bom" puts first.
TEST(QuietReportE2E, InventoryColumnsTypesHashesAndTheMark) {
    const std::wstring folder = MakeScratchDir(L"quiet-inventory");
    CopyInto(FixturePath(L"versions\\inventory.dll"), folder, L"inventory.dll");
    for (const wchar_t* name : {L"probe_classes64.dll", L"dotnet_assembly.dll", L"tl_alpha.dll"})
        CopyInto(FixturePath(name), folder, name);
    CopyInto(FixturePath(L"versions\\strings.dll"), folder, L"module.bin");
    CopyInto(FixturePath(L"versions\\none.dll"), folder, L"applet.CPL");
    WriteText(folder + L"notes.txt", "MZ? no: too short for a module's header");
    WriteText(folder + L"data.bin", "not a module either");

    const std::wstring out = MakeScratchDir(L"quiet-inventory-out");
    BatchResult csv =
        RunBatch(L"-q -f " + Quoted(folder) + L" -format csv -out " + Quoted(out + L"r.csv"));
    EXPECT_EQ(csv.cmdExit, std::optional<DWORD>(0));
    std::map<std::string, Record> byName;
    for (Record& r : ParseCsv(ReadAll(out + L"r.csv")))
        byName[r["path"].substr(r["path"].rfind('\\') + 1)] = r;
    ASSERT_EQ(byName.size(), 4u) << "the default kinds only";
    const struct {
        const char* file;
        const char* column;
        const char* value;
    } cells[] = {
        // Built for the build's own bitness.
        {"inventory.dll", "machine", sizeof(void*) == 8 ? "x64" : "x86"},
        {"inventory.dll", "dotnet", "false"},
        {"inventory.dll", "file_version_string", "2.5 (Build 77)"},
        {"inventory.dll", "private_build", "nightly by jo"},
        {"inventory.dll", "special_build", "customer fix 12"},
        {"inventory.dll", "language", "0407 04E4"},
        {"inventory.dll", "file_flags_hex", "00000028"},
        {"inventory.dll", "file_os_hex", "00040004"},
        {"inventory.dll", "file_type_hex", "00000002"},
        {"inventory.dll", "self_registering", "true"}, // by OLESelfRegister alone
        {"inventory.dll", "typelib_id", ""},
        {"probe_classes64.dll", "machine", "x64"},
        {"probe_classes64.dll", "self_registering", "true"},
        {"dotnet_assembly.dll", "dotnet", "true"},
        {"tl_alpha.dll", "self_registering", "false"},
        {"tl_alpha.dll", "typelib_id", "{80F7BAE5-47C8-4874-AA3A-2C5BEB552420}"},
        {"tl_alpha.dll", "typelib_version", "1.0"},
        {"tl_alpha.dll", "typelib_name", "CalvornAlpha"},
        {"tl_alpha.dll", "registration", "not-registered"},
        {"inventory.dll", "registration", ""},
    };
    for (const auto& c : cells)
        EXPECT_EQ(byName[c.file][c.column], c.value) << c.file << " " << c.column;
    for (auto& [name, r] : byName) {
        EXPECT_EQ(r["sha256"].size(), 64u) << name;
        EXPECT_EQ(r.count("md5"), 0u) << "md5 only when asked";
        // The generated CLR stub has a stamp of 0, which is no time.
        EXPECT_EQ(r["link_time_utc"].size(), name == "dotnet_assembly.dll" ? 0u : 20u) << name;
    }

    // Every module by its content, whatever its name; the digests asked for.
    BatchResult all =
        RunBatch(L"-q -f " + Quoted(folder) + L" -types all -format jsonl -hash md5,sha1 -out -");
    EXPECT_EQ(all.cmdExit, std::optional<DWORD>(0));
    std::set<std::string> names;
    for (Record& r : ParseJsonLines(all.outBytes)) {
        names.insert(r["path"].substr(r["path"].rfind('\\') + 1));
        EXPECT_EQ(r["md5"].size(), 32u);
        EXPECT_EQ(r["sha1"].size(), 40u);
    }
    EXPECT_EQ(names, (std::set<std::string>{"applet.CPL", "dotnet_assembly.dll", "inventory.dll",
                                            "module.bin", "probe_classes64.dll", "tl_alpha.dll"}));

    // An extension added, and the mark before the CSV.
    BatchResult cpl = RunBatch(L"-q -f " + Quoted(folder) + L" -types .cpl -format csv -bom -out " +
                               Quoted(out + L"cpl.csv"));
    EXPECT_EQ(cpl.cmdExit, std::optional<DWORD>(0));
    const std::string marked = ReadAll(out + L"cpl.csv");
    EXPECT_EQ(marked.rfind("\xEF\xBB\xBFpath,", 0), 0u);
    EXPECT_NE(marked.find("applet.CPL,"), std::string::npos);
    EXPECT_EQ(marked.find("module.bin"), std::string::npos);
}

// A folder in the system folder, named by the 32-bit program on a 64-bit
// machine: the rows describe the files of that folder, not of its 32-bit
// twin (SysWOW64). A module only there is listed with its own machine, a
// name in both folders is read from the one named (its signature too), a
// subfolder only there is walked, and the twin's own file is not listed.
TEST(QuietReportE2E, AFolderOfTheSystemFolderIsReportedAsNamedNotAsItsTwin) {
    wchar_t system[MAX_PATH] = L"";
    wchar_t wow[MAX_PATH] = L"";
    if (::GetSystemWow64DirectoryW(wow, MAX_PATH) == 0)
        GTEST_SKIP() << "this machine has no 32-bit twin of the system folder";
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring name = L"calvorn-inventory-" + std::to_wstring(::GetCurrentProcessId());
    const std::wstring native = std::wstring(system) + L"\\" + name + L"\\";
    const std::wstring twin = std::wstring(wow) + L"\\" + name + L"\\";
    const auto place = [](const std::wstring& fixture, const std::wstring& target) {
        return ::CopyFileW(FixturePath(fixture).c_str(), target.c_str(), FALSE) != FALSE;
    };
    {
        platform::FileSystemRedirectionOff seeTheRealFolders;
        for (const std::wstring& folder : {native, native + L"sub64\\", twin})
            ::CreateDirectoryW(folder.c_str(), nullptr);
        ASSERT_TRUE(place(L"probe_classes64.dll", native + L"only64.dll"));
        ASSERT_TRUE(place(L"probe_classes64.dll", native + L"both.dll"));
        ASSERT_TRUE(place(L"probe_classes64.dll", native + L"sub64\\inner.dll"));
        ASSERT_TRUE(place(L"tl_alpha.dll", twin + L"both.dll"));
        ASSERT_TRUE(place(L"tl_alpha.dll", twin + L"only32.dll"));
    }
    BatchResult run = RunBatch(L"-q -f " + Quoted(native) + L" -sub -sig -format csv -out -");
    {
        platform::FileSystemRedirectionOff seeTheRealFolders;
        for (const std::wstring& file :
             {native + L"only64.dll", native + L"both.dll", native + L"sub64\\inner.dll",
              twin + L"both.dll", twin + L"only32.dll"})
            ::DeleteFileW(file.c_str());
        for (const std::wstring& folder : {native + L"sub64\\", native, twin})
            ::RemoveDirectoryW(folder.c_str());
    }
    EXPECT_EQ(run.cmdExit, std::optional<DWORD>(0)) << run.outBytes;
    std::map<std::string, Record> byName;
    for (Record& r : ParseCsv(run.outBytes))
        byName[r["path"].substr(r["path"].rfind('\\') + 1)] = r;
    EXPECT_EQ(byName.size(), 3u);
    for (const char* file : {"only64.dll", "both.dll", "inner.dll"}) {
        EXPECT_EQ(byName[file]["machine"], "x64") << file;
        EXPECT_EQ(byName[file]["signature"], "unsigned") << file;
        EXPECT_EQ(byName[file]["error"], "") << file;
    }
    EXPECT_EQ(byName.count("only32.dll"), 0u);
}
