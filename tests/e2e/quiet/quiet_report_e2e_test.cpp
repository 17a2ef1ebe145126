// The machine-readable folder report of the real program: CSV and JSON Lines
// hold, field by field, what the text report says, including version strings
// beyond the ANSI code page; "-" writes to standard output; no viewer opens.

#include "batch_runner.h"

#include <map>

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

std::vector<Record> ParseText(const std::string& text) {
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
    BatchResult r = RunBatch(L"-q -f " + Quoted(folder) + L" -format csv -sub");
    EXPECT_EQ(r.cmdExit, std::optional<DWORD>(0));
    EXPECT_EQ(r.out,
              std::vector<std::string>{"written \"" + platform::Narrow(reports) + "output.csv\""});
    std::vector<Record> records = ParseCsv(ReadAll(reports + L"output.csv"));
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[0]["path"], platform::Narrow(folder) + "sub\\deeper.OCX");

    // A folder that is not there: no report, and the script is told.
    r = RunBatch(L"-q -f " + Quoted(folder + L"gone") + L" -format jsonl -out " +
                 Quoted(reports + L"x.jsonl"));
    EXPECT_EQ(r.cmdExit, std::optional<DWORD>(10));
    ASSERT_EQ(r.err.size(), 1u);
    EXPECT_EQ(r.err[0].rfind("report-failed \"" + platform::Narrow(folder) + "gone\" 0x8007", 0),
              0u);
    EXPECT_FALSE(Exists(reports + L"x.jsonl"));
}
