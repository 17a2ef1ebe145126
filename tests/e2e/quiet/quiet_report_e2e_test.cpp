// The machine-readable folder report of the real program: CSV and JSON Lines
// hold, field by field, what the text report says, including version strings
// beyond the ANSI code page; "-" writes to standard output; no viewer opens.

#include "batch_runner.h"
#include "platform/unique_handle.h"

#include <wincrypt.h>

#include <chrono>
#include <map>
#include <set>
#include <thread>

using namespace calvorn;
using namespace calvorn::test;

namespace {

using Record = std::map<std::string, std::string>;

// The text report's labels, in block order, and the column each one fills.
const std::pair<const char*, const char*> kLabels[] = {
    {"File", "path"},
    {"Company Name", "company_name"},
    {"File Description", "file_description"},
    {"Internal Name", "internal_name"},
    {"Legal Copyright", "legal_copyright"},
    {"Legal Trademarks", "legal_trademarks"},
    {"Original Filename", "original_filename"},
    {"Product Name", "product_name"},
    {"Product Version", "product_version"},
    {"Comments", "comments"},
    {"Type", "type"},
    {"SubType", "subtype"},
    {"Version", "fixed_file_version"},
    {"Product Version", "fixed_product_version"},
    {"OS", "os"},
    {"Flags", "flags"},
};

std::vector<Record> ParseText(std::string text) {
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.erase(0, 3); // the mark of a text report beyond ASCII
    std::vector<Record> records;
    size_t next = 0;
    for (const std::string& line : Lines(text)) {
        if (line.rfind("File: ", 0) == 0) {
            records.emplace_back();
            next = 0;
        }
        for (size_t i = next; i < std::size(kLabels) && !records.empty(); ++i) {
            std::string label = std::string(kLabels[i].first) + ": ";
            if (line.rfind(label, 0) == 0) {
                std::string value = line.substr(label.size());
                while (!value.empty() && value.back() == ' ')
                    value.pop_back();
                records.back()[kLabels[i].second] = value;
                next = i + 1;
                break;
            }
        }
    }
    return records;
}

// RFC 4180: quoted fields may hold commas, doubled quotes and line breaks.
std::vector<Record> ParseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                rows.back().back() += text[++i];
            else if (c == '"')
                quoted = false;
            else
                rows.back().back() += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().emplace_back();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            rows.emplace_back(1);
            ++i;
        } else {
            rows.back().back() += c;
        }
    }
    rows.pop_back(); // after the last line end
    std::vector<Record> records;
    for (size_t r = 1; r < rows.size(); ++r) {
        EXPECT_EQ(rows[r].size(), rows[0].size());
        Record record;
        for (size_t f = 0; f < rows[r].size() && f < rows[0].size(); ++f)
            record[rows[0][f]] = rows[r][f];
        records.push_back(record);
    }
    return records;
}

// A flat JSON object per line: string values with the escapes the writer
// uses, and the one number.
std::vector<Record> ParseJsonLines(const std::string& text) {
    std::vector<Record> records;
    for (const std::string& line : Lines(text)) {
        Record record;
        size_t i = 1;
        auto string = [&] {
            std::string s;
            for (++i; line[i] != '"'; ++i) {
                if (line[i] != '\\') {
                    s += line[i];
                    continue;
                }
                char e = line[++i];
                if (e == 'u') {
                    s += static_cast<char>(std::stoi(line.substr(i + 1, 4), nullptr, 16));
                    i += 4;
                } else {
                    s += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
                }
            }
            ++i;
            return s;
        };
        while (i < line.size() && line[i] == '"') {
            std::string key = string();
            ++i; // ':'
            if (line[i] == '"') {
                record[key] = string();
            } else {
                size_t end = line.find_first_of(",}", i);
                record[key] = line.substr(i, end - i);
                i = end;
            }
            ++i; // ',' or '}'
        }
        records.push_back(record);
    }
    return records;
}

std::wstring FixtureFolder() {
    const std::wstring folder = MakeScratchDir(L"quiet-report");
    for (const wchar_t* name : {L"strings.dll", L"unicode.dll", L"none.dll", L"flags_all.dll"})
        CopyInto(FixturePath(std::wstring(L"versions\\") + name), folder, name);
    WriteText(folder + L"notes.txt", "not a component");
    ::CreateDirectoryW((folder + L"sub").c_str(), nullptr);
    CopyInto(FixturePath(L"versions\\empty.dll"), folder + L"sub\\", L"deeper.OCX");
    return folder;
}

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

std::string NameOf(const std::string& path) {
    return path.substr(path.rfind('\\') + 1);
}

} // namespace

TEST(QuietReportE2E, CsvAndJsonHoldWhatTheTextReportSays) {
    const std::wstring folder = FixtureFolder();
    const std::wstring out = MakeScratchDir(L"quiet-report-out");
    ScopedEnvironment noViewer(L"CALVORN_OPEN_LOG", out + L"opened.log");

    BatchResult text = RunBatch(L"-q -f " + Quoted(folder) + L" -out " + Quoted(out + L"r.txt"));
    EXPECT_EQ(text.cmdExit, std::optional<DWORD>(0));
    EXPECT_EQ(text.out, std::vector<std::string>{"written \"" + platform::Narrow(out) + "r.txt\""});
    BatchResult csv =
        RunBatch(L"-q -f " + Quoted(folder) + L" -format csv -out " + Quoted(out + L"r.csv"));
    EXPECT_EQ(csv.cmdExit, std::optional<DWORD>(0));
    // Standard output takes the report itself and nothing else.
    BatchResult json = RunBatch(L"-q -f " + Quoted(folder) + L" -format jsonl -out -");
    EXPECT_EQ(json.cmdExit, std::optional<DWORD>(0));
    EXPECT_TRUE(json.err.empty());

    std::vector<Record> fromText = ParseText(ReadAll(out + L"r.txt"));
    std::vector<Record> fromCsv = ParseCsv(ReadAll(out + L"r.csv"));
    std::vector<Record> fromJson = ParseJsonLines(json.outBytes);
    ASSERT_EQ(fromText.size(), 4u);
    ASSERT_EQ(fromCsv.size(), 4u);
    ASSERT_EQ(fromJson.size(), 4u);
    for (size_t i = 0; i < fromText.size(); ++i) {
        SCOPED_TRACE(fromText[i]["path"]);
        for (const auto& [label, column] : kLabels) {
            EXPECT_EQ(fromCsv[i][column], fromText[i][column]) << column;
            EXPECT_EQ(fromJson[i][column], fromText[i][column]) << column;
        }
        WIN32_FILE_ATTRIBUTE_DATA data{};
        ::GetFileAttributesExW(platform::Widen(fromCsv[i]["path"]).c_str(), GetFileExInfoStandard,
                               &data);
        EXPECT_EQ(fromCsv[i]["size"], std::to_string(data.nFileSizeLow));
        EXPECT_EQ(fromJson[i]["size"], fromCsv[i]["size"]);
        EXPECT_EQ(fromJson[i]["last_write_utc"], fromCsv[i]["last_write_utc"]);
        EXPECT_EQ(fromCsv[i]["last_write_utc"].size(), 20u);
    }
    // The strings beyond the ANSI code page, intact in all three.
    auto unicode = std::find_if(fromCsv.begin(), fromCsv.end(), [](Record& r) {
        return r["path"].find("unicode.dll") != std::string::npos;
    });
    ASSERT_NE(unicode, fromCsv.end());
    EXPECT_EQ((*unicode)["company_name"],
              "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1, \"Quoted\" Ltd");
    EXPECT_EQ((*unicode)["file_description"],
              "\xE5\x90\x8D\xE5\x89\x8D \xE2\x9C\x93 \xF0\x9F\x98\x80");
    EXPECT_FALSE(Exists(out + L"opened.log")) << "quiet mode opens no viewer";
}

TEST(QuietReportE2E, SubfoldersAndTheUsualPlace) {
    const std::wstring folder = FixtureFolder();
    const std::wstring reports = MakeScratchDir(L"quiet-report-dir");
    ScopedEnvironment place(L"CALVORN_REPORT_DIR", reports);
    // What a killed run left behind goes; what is not a report's stays.
    WriteText(reports + L"output.csv.4294967290.part", "half a row");
    WriteText(reports + L"notes.csv.4294967290.part", "someone else's");
    BatchResult r = RunBatch(L"-q -f " + Quoted(folder) + L" -format csv -sub");
    EXPECT_EQ(r.cmdExit, std::optional<DWORD>(0));
    EXPECT_EQ(r.out,
              std::vector<std::string>{"written \"" + platform::Narrow(reports) + "output.csv\""});
    std::vector<Record> records = ParseCsv(ReadAll(reports + L"output.csv"));
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[0]["path"], platform::Narrow(folder) + "sub\\deeper.OCX");
    EXPECT_FALSE(Exists(reports + L"output.csv.4294967290.part"));
    EXPECT_TRUE(Exists(reports + L"notes.csv.4294967290.part"));

    // A folder that is not there: no report, and the script is told.
    r = RunBatch(L"-q -f " + Quoted(folder + L"gone") + L" -format jsonl -out " +
                 Quoted(reports + L"x.jsonl"));
    EXPECT_EQ(r.cmdExit, std::optional<DWORD>(10));
    ASSERT_EQ(r.err.size(), 1u);
    EXPECT_EQ(r.err[0].rfind("report-failed \"" + platform::Narrow(folder) + "gone\" 0x8007", 0),
              0u);
    EXPECT_FALSE(Exists(reports + L"x.jsonl"));
}

TEST(QuietReportE2E, UnreadableFilesCarryTheirErrorAndChangeTheExitCode) {
    const std::wstring folder = MakeScratchDir(L"quiet-unreadable");
    for (const wchar_t* name : {L"held.dll", L"held.ocx", L"fine.dll"})
        CopyInto(FixturePath(L"versions\\strings.dll"), folder, name);
    // Another program holds two of them open and shares them with no one.
    auto hold = [&folder](const wchar_t* name) {
        return platform::UniqueFile(::CreateFileW((folder + name).c_str(),
                                                  GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                  OPEN_EXISTING, 0, nullptr));
    };
    platform::UniqueFile held = hold(L"held.dll"), heldToo = hold(L"held.ocx");
    ASSERT_TRUE(held && heldToo);
    const std::wstring out = MakeScratchDir(L"quiet-unreadable-out");

    BatchResult csv =
        RunBatch(L"-q -f " + Quoted(folder) + L" -format csv -out " + Quoted(out + L"r.csv"));
    BatchResult json = RunBatch(L"-q -f " + Quoted(folder) + L" -format jsonl -out -");
    BatchResult text = RunBatch(L"-q -f " + Quoted(folder) + L" -out " + Quoted(out + L"r.txt"));
    held.reset();
    heldToo.reset();

    for (const BatchResult* run : {&csv, &json, &text}) {
        EXPECT_EQ(run->cmdExit, std::optional<DWORD>(13));
        ASSERT_EQ(run->err.size(), 3u);
        EXPECT_EQ(run->err.back(), "2 files could not be read");
    }
    EXPECT_EQ(csv.out, std::vector<std::string>{"written \"" + platform::Narrow(out) + "r.csv\""});
    for (std::vector<Record> records :
         {ParseCsv(ReadAll(out + L"r.csv")), ParseJsonLines(json.outBytes)}) {
        ASSERT_EQ(records.size(), 3u);
        for (Record& r : records) {
            SCOPED_TRACE(r["path"]);
            if (r["path"].ends_with("fine.dll")) {
                EXPECT_EQ(r["error"], "");
                EXPECT_EQ(r["company_name"], "Erste GmbH");
                EXPECT_EQ(r["last_write_utc"].size(), 20u);
                continue;
            }
            EXPECT_NE(r["error"], "");
            EXPECT_EQ(r["company_name"], "");
            // No invented size or date: empty in CSV, null in JSON.
            EXPECT_TRUE(r["size"] == "" || r["size"] == "null") << r["size"];
            EXPECT_TRUE(r["last_write_utc"] == "" || r["last_write_utc"] == "null");
        }
    }
    const std::string why = platform::Narrow(platform::SystemMessage(ERROR_SHARING_VIOLATION));
    EXPECT_NE(std::find(csv.err.begin(), csv.err.end(),
                        "unreadable \"" + platform::Narrow(folder) + "held.dll\" " + why),
              csv.err.end());
    EXPECT_NE(ReadAll(out + L"r.txt")
                  .find("File: " + platform::Narrow(folder) + "held.dll\r\nError: " + why + "\r\n"),
              std::string::npos);
}

TEST(QuietReportE2E, ValuesCannotForgeRecordsOrFormulas) {
    const std::wstring folder = MakeScratchDir(L"quiet-forged");
    CopyInto(FixturePath(L"versions\\forged.dll"), folder, L"forged.dll");
    CopyInto(FixturePath(L"versions\\strings.dll"), folder, L"plain.dll");
    const std::wstring out = MakeScratchDir(L"quiet-forged-out");
    // A name without an extension gets none.
    BatchResult text = RunBatch(L"-q -f " + Quoted(folder) + L" -out " + Quoted(out + L"report"));
    EXPECT_EQ(text.out,
              std::vector<std::string>{"written \"" + platform::Narrow(out) + "report\""});
    BatchResult csv =
        RunBatch(L"-q -f " + Quoted(folder) + L" -format csv -out " + Quoted(out + L"r.csv"));
    BatchResult json = RunBatch(L"-q -f " + Quoted(folder) + L" -format jsonl -out -");
    for (const BatchResult* run : {&text, &csv, &json})
        EXPECT_EQ(run->cmdExit, std::optional<DWORD>(0));

    const std::string report = ReadAll(out + L"report");
    size_t fileLines = 0;
    for (const std::string& line : Lines(report))
        fileLines += line.starts_with("File: ");
    EXPECT_EQ(fileLines, 2u) << report;
    EXPECT_NE(
        report.find("\r\nComments: real comment\\r\\n\\r\\n\\r\\n\\r\\nFile: "
                    "C:\\forged\\ghost.dll\\r\\n\\r\\nCompany Name: Ghost Corp\\tInc\\r\\n\r\n"),
        std::string::npos)
        << report;

    // A spreadsheet takes the CSV cell for text; JSON keeps the value as it is.
    std::vector<Record> rows = ParseCsv(ReadAll(out + L"r.csv"));
    std::vector<Record> objects = ParseJsonLines(json.outBytes);
    ASSERT_EQ(rows.size(), 2u);
    ASSERT_EQ(objects.size(), 2u);
    const size_t forged = rows[0]["path"].ends_with("forged.dll") ? 0 : 1;
    EXPECT_EQ(rows[forged]["product_name"], "'=1+2");
    EXPECT_EQ(objects[forged]["product_name"], "=1+2");
    EXPECT_EQ(objects[forged]["comments"], rows[forged]["comments"]);
    EXPECT_EQ(rows[forged]["comments"].rfind("real comment\r\n\r\n\r\n\r\nFile: ", 0), 0u);
}

TEST(QuietReportE2E, SubfoldersFollowNoFolderLinks) {
    // Made by the test run: sub\up and sub\again both lead back to the folder.
    const std::wstring folder = BuildDir() + L"scratch\\folder-links";
    ASSERT_TRUE(Exists(folder + L"\\sub\\up\\a.dll"));
    const std::wstring out = MakeScratchDir(L"quiet-links-out");
    const auto start = std::chrono::steady_clock::now();
    BatchResult r =
        RunBatch(L"-q -f " + Quoted(folder) + L" -sub -format csv -out " + Quoted(out + L"r.csv"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(r.cmdExit, std::optional<DWORD>(0));
    std::vector<Record> records = ParseCsv(ReadAll(out + L"r.csv"));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]["path"], platform::Narrow(folder) + "\\sub\\b.dll");
    EXPECT_EQ(records[1]["path"], platform::Narrow(folder) + "\\a.dll");
}

TEST(QuietReportE2E, RunsAtOnceEachWriteAReportOfTheirOwn) {
    const std::wstring folder = MakeScratchDir(L"quiet-many");
    for (int i = 0; i < 2000; ++i)
        WriteText(folder + L"f" + std::to_wstring(10000 + i) + L".dll", "");
    const std::wstring reports = MakeScratchDir(L"quiet-many-out");
    ScopedEnvironment place(L"CALVORN_REPORT_DIR", reports);
    BatchResult first, second;
    std::thread other([&] { first = RunBatch(L"-q -f " + Quoted(folder) + L" -format csv"); });
    second = RunBatch(L"-q -f " + Quoted(folder) + L" -format csv");
    other.join();
    EXPECT_EQ(first.cmdExit, std::optional<DWORD>(0));
    EXPECT_EQ(second.cmdExit, std::optional<DWORD>(0));
    ASSERT_EQ(first.out.size(), 1u);
    ASSERT_EQ(second.out.size(), 1u);
    const std::set<std::string> written{first.out[0], second.out[0]};
    EXPECT_EQ(written, (std::set<std::string>{
                           "written \"" + platform::Narrow(reports) + "output.csv\"",
                           "written \"" + platform::Narrow(reports) + "output (2).csv\""}));
    EXPECT_EQ(ParseCsv(ReadAll(reports + L"output.csv")).size(), 2000u);
    EXPECT_EQ(ParseCsv(ReadAll(reports + L"output (2).csv")).size(), 2000u);

    // One name both were told to write: one writes it, the other says why not.
    const std::wstring chosen = reports + L"chosen.csv";
    const std::wstring run = L"-q -f " + Quoted(folder) + L" -format csv -out " + Quoted(chosen);
    std::thread again([&] { first = RunBatch(run); });
    second = RunBatch(run);
    again.join();
    std::multiset<DWORD> codes{first.cmdExit.value_or(99), second.cmdExit.value_or(99)};
    EXPECT_EQ(codes, (std::multiset<DWORD>{0, 10}));
    const BatchResult& refused = first.cmdExit == std::optional<DWORD>(10) ? first : second;
    ASSERT_EQ(refused.err.size(), 1u);
    EXPECT_EQ(refused.err[0],
              "report-failed \"" + platform::Narrow(chosen) + "\" 0x80070020: " +
                  platform::Narrow(platform::SystemMessage(ERROR_SHARING_VIOLATION)));
    EXPECT_EQ(ParseCsv(ReadAll(chosen)).size(), 2000u);
}

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
        {"inventory.dll", "machine", "x86"},
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
