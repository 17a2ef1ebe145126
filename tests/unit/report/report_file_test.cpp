// Where a folder report goes: its file built under a temporary name and put
// in place whole, the name each run claims, the parts killed runs left, and
// the one output both front-ends write through.

#include "app/report_file.h"
#include "app/report_output.h"
#include "platform/error_record.h"
#include "platform/text.h"
#include "support/test_paths.h"
#include "unit/report/listed_files.h"

#include <gtest/gtest.h>

#include <cwctype>

#include <algorithm>
#include <memory>

using namespace calvorn;
using namespace calvorn::app;
using calvorn::test::Exists;
using calvorn::test::Listed;
using calvorn::test::MakeScratchDir;
using calvorn::test::ReadAll;
using calvorn::test::WriteText;

TEST(ReportFile, AppearsWholeOnCommitInUtf8MarkedOnlyWhenNotAscii) {
    std::wstring dir = MakeScratchDir(L"reportfile");
    {
        ReportFile file(dir + L"output.txt");
        file.Write(L"File: a\r\n");
        EXPECT_FALSE(Exists(dir + L"output.txt")); // nothing there until it is whole
        file.Commit();
    }
    EXPECT_EQ(ReadAll(dir + L"output.txt"), "File: a\r\n"); // ASCII: as it always was
    {
        ReportFile file(dir + L"output.txt");
        file.Write(L"File: a\r\n");
        file.Write(L"\u03a9mega \u4e2d \U0001F600\r\n");
        file.Write(L"\u00e9\r\n");
        file.Commit();
    }
    EXPECT_EQ(ReadAll(dir + L"output.txt"),
              "\xEF\xBB\xBF"
              "File: a\r\n\xCE\xA9mega \xE4\xB8\xAD \xF0\x9F\x98\x80\r\n\xC3\xA9\r\n");
    {
        ReportFile file(dir + L"plain.jsonl", ByteOrderMark::Never);
        file.Write(L"\u00e9");
        file.Commit();
    }
    EXPECT_EQ(ReadAll(dir + L"plain.jsonl"), "\xC3\xA9");
    EXPECT_EQ(Listed(dir).size(), 2u); // no temporary file left behind
}

TEST(ReportFile, AShortWriteIsAFullDiskAndNoFailureIsErrorZero) {
    struct Case {
        bool succeeded;
        unsigned long asked, written, lastError, code;
    };
    const Case cases[] = {
        {true, 10, 10, ERROR_NO_MORE_FILES, ERROR_SUCCESS},
        {true, 10, 4, ERROR_NO_MORE_FILES, ERROR_DISK_FULL}, // a stale last error is not the cause
        {true, 10, 0, ERROR_SUCCESS, ERROR_DISK_FULL},
        {false, 10, 0, ERROR_HANDLE_DISK_FULL, ERROR_HANDLE_DISK_FULL},
        {false, 10, 0, ERROR_SUCCESS, ERROR_WRITE_FAULT},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WriteFailureCode(c.succeeded, c.asked, c.written, c.lastError), c.code)
            << c.asked << " " << c.written << " " << c.lastError;
    // The code survives into the text the user sees.
    EXPECT_EQ(
        platform::FormatErrorReport(L"CreateReport", PathError(ERROR_DISK_FULL, L"C:\\o.txt")),
        L"CreateReport: error 112: " + platform::SystemMessage(ERROR_DISK_FULL) + L" (C:\\o.txt)");
}

TEST(ReportFile, ACancelledReportKeepsTheEarlierOneAndGoesBesideIt) {
    EXPECT_EQ(PartialReportName(L"output.txt"), L"output (partial).txt");
    EXPECT_EQ(PartialReportName(L"report"), L"report (partial)");
    std::wstring dir = MakeScratchDir(L"partial");
    {
        ReportFile whole(dir + L"output.txt");
        whole.Write(L"complete\r\n");
        whole.Commit();
    }
    {
        ReportFile cancelled(dir + L"output.txt");
        cancelled.Write(L"part\r\n");
        cancelled.CommitAs(dir + PartialReportName(L"output.txt"));
    }
    EXPECT_EQ(ReadAll(dir + L"output.txt"), "complete\r\n");
    EXPECT_EQ(ReadAll(dir + L"output (partial).txt"), "part\r\n");
    EXPECT_EQ(Listed(dir).size(), 2u);
}

TEST(ReportFile, ADroppedReportRemovesOnlyItsOwnTemporaryFile) {
    std::wstring dir = MakeScratchDir(L"dropped");
    {
        ReportFile old(dir + L"output.txt");
        old.Write(L"an earlier run\r\n");
        old.Commit();
    }
    {
        ReportFile file(dir + L"output.txt");
        file.Write(L"half");
    } // a failure midway
    EXPECT_EQ(Listed(dir), std::vector<std::wstring>{dir + L"output.txt"});
    EXPECT_EQ(ReadAll(dir + L"output.txt"), "an earlier run\r\n");
}

TEST(ReportFile, StalePartsOfEndedRunsGoOthersStay) {
    std::wstring dir = MakeScratchDir(L"stale");
    const std::wstring own = std::to_wstring(::GetCurrentProcessId());
    // 4294967290 names no running process.
    for (const wchar_t* name : {L"output.txt.4294967290.part", L"output (2).txt.4294967290.part",
                                L"other.txt.4294967290.part", L"output.txt.x1.part", L"output.txt",
                                L"output.mp4.4294967290.part", L"output (x).txt.4294967290.part"})
        WriteText(dir + name, "");
    WriteText(dir + L"output.txt." + own + L".part", "");
    RemoveStaleParts(dir, L"output.txt");
    std::vector<std::wstring> kept = Listed(dir);
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<std::wstring>{
                        dir + L"other.txt.4294967290.part", dir + L"output (x).txt.4294967290.part",
                        dir + L"output.mp4.4294967290.part", dir + L"output.txt",
                        dir + L"output.txt." + own + L".part", dir + L"output.txt.x1.part"}));
}

TEST(ReportClaim, ANameHeldByARunningReportIsNotTakenTwice) {
    std::wstring dir = MakeScratchDir(L"claims");
    auto first = std::make_unique<ReportClaim>(dir, L"output.txt");
    EXPECT_EQ(first->Path(), dir + L"output.txt");
    ReportClaim second(dir, L"output.txt");
    EXPECT_EQ(second.Path(), dir + L"output (2).txt");
    first.reset(); // that run ended
    ReportClaim third(dir, L"output.txt");
    EXPECT_EQ(third.Path(), dir + L"output.txt");
    // A name the user chose is refused while another run writes it.
    try {
        ReportClaim chosen(dir, L"output (2).txt", ReportClaim::Mode::ThisNameOnly);
        ADD_FAILURE() << "claimed twice";
    } catch (const platform::Failure& failure) {
        EXPECT_EQ(failure.Record().number, ERROR_SHARING_VIOLATION);
        EXPECT_NE(failure.Record().description.find(dir + L"output (2).txt"), std::wstring::npos);
    }
    // Every spelling of one file is one claim: the name in another case, the
    // folder as a long path, or through "..".
    const std::wstring folderName =
        dir.substr(dir.rfind(L'\\', dir.size() - 2) + 1, std::wstring::npos);
    std::vector<std::wstring> spellings = {L"\\\\?\\" + dir, dir + L"..\\" + folderName};
    for (wchar_t& c : spellings[1])
        c = static_cast<wchar_t>(std::towlower(c));
    for (const std::wstring& spelling : spellings) {
        try {
            ReportClaim again(spelling, L"OUTPUT.txt", ReportClaim::Mode::ThisNameOnly);
            ADD_FAILURE() << "claimed twice as " << platform::Narrow(spelling);
        } catch (const platform::Failure& failure) {
            EXPECT_EQ(failure.Record().number, ERROR_SHARING_VIOLATION)
                << platform::Narrow(spelling);
        }
    }
    // A folder that is not there is found at the claim.
    try {
        ReportClaim missing(dir + L"missing\\", L"x.txt");
        ADD_FAILURE() << "claimed in a missing folder";
    } catch (const platform::Failure& failure) {
        EXPECT_EQ(failure.Record().number, ERROR_PATH_NOT_FOUND);
    }
    // The same name in another folder is another report.
    ReportClaim elsewhere(MakeScratchDir(L"claims"), L"output.txt");
    EXPECT_EQ(files::GetPathPart(elsewhere.Path(), files::ppName), L"output");
}

// Both front-ends write through one output: it sweeps what killed runs
// left, claims its name, and writes the format asked for, to a file or to
// standard output.
TEST(ReportOutput, SweepsClaimsAndWritesEachFormatToAFileOrStandardOutput) {
    std::wstring dir = MakeScratchDir(L"outputs");
    WriteText(dir + L"output.csv.4294967290.part", ""); // a killed run's
    const ReportClaim held(dir, L"output.csv");         // a running one's
    FolderRecord record;
    record.path = L"C:\\x\\a.dll";
    record.info.CompanyName = L"Co";
    {
        ReportOutput csv(ReportFormat::Csv, dir, L"output.csv", ReportClaim::Mode::NextFreeName);
        EXPECT_EQ(csv.Path(), dir + L"output (2).csv");
        csv.Write(record);
        csv.Commit();
    }
    EXPECT_FALSE(Exists(dir + L"output.csv.4294967290.part"));
    EXPECT_EQ(ReadAll(dir + L"output (2).csv"), CsvHeader() + CsvRow(record));

    class Captured final : public IQuietOutput {
      public:
        void Line(const std::wstring&, bool) override {}
        unsigned long Data(std::string_view utf8) override {
            bytes += utf8;
            return open ? ERROR_SUCCESS : ERROR_DISK_FULL;
        }
        std::string bytes;
        bool open = true;
    } out;
    record.info.Comments = L"\u00e9";
    for (ReportFormat format : {ReportFormat::Text, ReportFormat::JsonLines}) {
        out.bytes.clear();
        ReportOutput standard(format, out);
        standard.Write(record);
        standard.Commit();
        EXPECT_EQ(standard.Path(), L"-");
        EXPECT_EQ(out.bytes, format == ReportFormat::Text
                                 ? platform::Narrow(FormatReportBlock(record))
                                 : JsonLine(record));
    }
    out.open = false; // a file on a full disk: its own code, named so
    ReportOutput closed(ReportFormat::Text, out);
    try {
        closed.Write(record);
        ADD_FAILURE() << "written";
    } catch (const platform::Failure& failure) {
        EXPECT_EQ(failure.Record().number, ERROR_DISK_FULL);
        EXPECT_EQ(OutputFailureLine(L"-", failure.Record())
                      .rfind(L"report-failed standard output 0x80070070: ", 0),
                  0u);
    }
    out.bytes.clear();
    ReportOutput discarded(ReportFormat::Csv, ReportOutput::Discarded{});
    discarded.Write(record);
    discarded.Commit();
    EXPECT_EQ(discarded.Path(), L"NUL");
    EXPECT_FALSE(discarded.IsFile());
}

TEST(ReportOutput, DeviceNamesAreNoFilesAndNulDiscards) {
    for (const wchar_t* given : {L"NUL", L"nul.csv", L"C:\\out\\Nul", L"\\\\.\\NUL"})
        EXPECT_EQ(PlaceOf(given), OutputPlace::Discard) << platform::Narrow(given);
    EXPECT_EQ(PlaceOf(L"-"), OutputPlace::StandardOutput);
    for (const wchar_t* given : {L"C:\\out\\null.csv", L"console.txt", L"COM10", L"LPT"})
        EXPECT_EQ(PlaceOf(given), OutputPlace::File) << platform::Narrow(given);
    for (const wchar_t* given :
         {L"CON", L"aux.reg", L"C:\\x\\com1 .txt", L"LPT9", L"conout$", L"\\\\.\\pipe\\x"}) {
        try {
            PlaceOf(given);
            ADD_FAILURE() << platform::Narrow(given);
        } catch (const platform::Failure& failure) {
            const std::wstring line = OutputFailureLine(given, failure.Record());
            EXPECT_NE(line.find(L"0x8007007B"), std::wstring::npos) << platform::Narrow(line);
            EXPECT_NE(line.find(L"is a device, not a file"), std::wstring::npos);
            EXPECT_NE(line.find(std::wstring(L"\"") + given + L"\""), std::wstring::npos);
        }
    }
}
