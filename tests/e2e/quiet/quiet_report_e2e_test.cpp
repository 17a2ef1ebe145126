// The machine-readable folder report of the real program: CSV and JSON Lines
// hold, field by field, what the text report says, including version strings
// beyond the ANSI code page; "-" writes to standard output; no viewer opens.

#include "report_records.h"
#include "platform/unique_handle.h"

#include <chrono>
#include <set>
#include <thread>

using namespace calvorn;
using namespace calvorn::test;

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

// A folder and its component past the ordinary length limit: the text and
// the CSV report read the file alike, all of it.
TEST(QuietReportE2E, AFolderPastTheLengthLimitIsReportedInEveryFormat) {
    std::wstring folder = MakeScratchDir(L"quiet-long");
    while (folder.size() < 300) {
        folder += std::wstring(40, L'd') + L"\\";
        ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr));
    }
    ASSERT_TRUE(
        ::CopyFileW(ProgramPath().c_str(), (L"\\\\?\\" + folder + L"x.exe").c_str(), FALSE));
    const std::wstring named = folder.substr(0, folder.size() - 1);
    const std::wstring out = MakeScratchDir(L"quiet-long-out");
    ScopedEnvironment noViewer(L"CALVORN_OPEN_LOG", out + L"opened.log");
    BatchResult text = RunBatch(L"-q -f " + Quoted(named) + L" -out " + Quoted(out + L"r.txt"));
    EXPECT_EQ(text.cmdExit, std::optional<DWORD>(0));
    BatchResult csv =
        RunBatch(L"-q -f " + Quoted(named) + L" -format csv -out " + Quoted(out + L"r.csv"));
    EXPECT_EQ(csv.cmdExit, std::optional<DWORD>(0));

    std::vector<Record> fromText = ParseText(ReadAll(out + L"r.txt"));
    std::vector<Record> fromCsv = ParseCsv(ReadAll(out + L"r.csv"));
    ASSERT_EQ(fromText.size(), 1u);
    ASSERT_EQ(fromCsv.size(), 1u);
    EXPECT_EQ(fromCsv[0]["path"], platform::Narrow(folder + L"x.exe"));
    for (const auto& [label, column] : kLabels)
        EXPECT_EQ(fromCsv[0][column], fromText[0][column]) << column;
    EXPECT_EQ(fromCsv[0]["company_name"], "Calvorn");
    EXPECT_EQ(fromCsv[0]["machine"], sizeof(void*) == 8 ? "x64" : "x86");
    EXPECT_NE(fromCsv[0]["size"], "");
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
