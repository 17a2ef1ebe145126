// The folder report's walk, block format and file handling, with a fake
// progress window and fake version fields.

#include "app/report.h"
#include "app/quiet_report.h"
#include "app/report_file.h"
#include "app/report_inventory.h"
#include "files/folder_listing.h"
#include "inspection/version_fields.h"
#include "platform/error_record.h"
#include "platform/read_ahead.h"
#include "platform/text.h"
#include "support/fake_message_box.h"
#include "support/test_paths.h"
#include "unit/report/listed_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>

using namespace calvorn;
using namespace calvorn::app;
using calvorn::test::Exists;
using calvorn::test::Listed;
using calvorn::test::MakeScratchDir;
using calvorn::test::ReadAll;

namespace {

class FakeProgress final : public IReportProgress {
  public:
    void Show() override { log.push_back(L"show"); }
    void Max(std::int32_t v) override { log.push_back(L"max " + std::to_wstring(v)); }
    void Value(std::int32_t v) override { log.push_back(L"value " + std::to_wstring(v)); }
    void CurrentFile(const std::wstring& name) override { log.push_back(L"file " + name); }
    void PumpMessages() override {
        log.push_back(L"pump");
        if (++pumps == cancelAtPump && cancel)
            *cancel = true; // the user clicks Cancel
    }
    void Hide() override { log.push_back(L"hide"); }

    std::vector<std::wstring> log;
    int pumps = 0;
    int cancelAtPump = 0;
    bool* cancel = nullptr;
};

// Version fields that name the file they were asked for.
FolderRecord FakeRead(const std::wstring& path) {
    FolderRecord record;
    record.path = path;
    record.info.CompanyName = L"Company of " + files::GetPathPart(path, files::ppName);
    record.info.FileFlagsEx = L"Debug ";
    return record;
}

std::wstring ExpectedBlock(const std::wstring& path) {
    return L"File: " + path + L"\r\n\r\nCompany Name: Company of " +
           files::GetPathPart(path, files::ppName) +
           L"\r\nFile Description: \r\nInternal Name: \r\nLegal Copyright: \r\n"
           L"Legal Trademarks: \r\nOriginal Filename: \r\nProduct Name: \r\n"
           L"Product Version: \r\nComments: \r\n\r\nExtended File Info \r\n\r\nType: \r\n"
           L"SubType: \r\nVersion: \r\nProduct Version: \r\nOS: \r\nStructure Version: \r\n"
           L"Flags: Debug \r\n\r\n\r\n\r\n";
}

void Touch(const std::wstring& path) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ::CloseHandle(h);
}

struct ReportRun {
    ReportEnd end;
    std::wstring text;
};

ReportRun RunReport(const std::wstring& folder, FakeProgress& progress, bool& cancel) {
    ReportRun run{};
    run.end = WriteReport({folder}, progress, FakeRead, cancel, [&run](const FolderRecord& record) {
        run.text += FormatReportBlock(record);
    });
    return run;
}

} // namespace

TEST(ReportBlock, HoldsEveryLabelInOrderWithThreeEmptyLinesAfter) {
    FolderRecord record;
    record.path = L"C:\\x\\a.dll";
    inspection::VersionFields& info = record.info;
    info.CompanyName = L"Co";
    info.FileDescription = L"Desc";
    info.InternalName = L"int";
    info.LegalCopyright = L"(c)";
    info.LegalTrademarks = L"tm";
    info.OriginalFileName = L"orig.dll";
    info.ProductName = L"Prod";
    info.ProductVersion = L"1.2";
    info.Comments = L"none";
    info.FileTypeEx = L"Dll";
    info.FileSubTypeEx = L"";
    info.FileVerEx = L"1.2.3.4";
    info.ProdVerEx = L"5.6.7.8";
    info.FileOSEx = L"Win32";
    info.StrucVerEx = L"1.0";
    info.FileFlagsEx = L"Debug PreRel ";
    const std::wstring rest = L"Company Name: Co\r\n"
                              L"File Description: Desc\r\n"
                              L"Internal Name: int\r\n"
                              L"Legal Copyright: (c)\r\n"
                              L"Legal Trademarks: tm\r\n"
                              L"Original Filename: orig.dll\r\n"
                              L"Product Name: Prod\r\n"
                              L"Product Version: 1.2\r\n"
                              L"Comments: none\r\n"
                              L"\r\n"
                              L"Extended File Info \r\n"
                              L"\r\n"
                              L"Type: Dll\r\n"
                              L"SubType: \r\n"
                              L"Version: 1.2.3.4\r\n"
                              L"Product Version: 5.6.7.8\r\n"
                              L"OS: Win32\r\n"
                              L"Structure Version: 1.0\r\n"
                              L"Flags: Debug PreRel \r\n"
                              L"\r\n"
                              L"\r\n"
                              L"\r\n";
    EXPECT_EQ(FormatReportBlock(record), L"File: C:\\x\\a.dll\r\n\r\n" + rest);
    // An unreadable file says why, right under its name.
    record.error = L"Access denied.";
    EXPECT_EQ(FormatReportBlock(record),
              L"File: C:\\x\\a.dll\r\nError: Access denied.\r\n\r\n" + rest);
}

TEST(ReportBlock, EveryValueIsOneLineSoNoFileForgesAnother) {
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"a\r\nb", L"a\\r\\nb"},
        {L"tab\there", L"tab\\there"},
        {std::wstring(L"\x01\x1f\x7f", 3), L"\\x01\\x1f\\x7f"},
        {L"nel\x85 ls\x2028 ps\x2029", L"nel\\x85 ls\\u2028 ps\\u2029"},
        {L"C:\\dir\\n.dll", L"C:\\dir\\n.dll"}, // a backslash stays
        {L"caf\u00e9 \U0001F600", L"caf\u00e9 \U0001F600"},
    };
    for (const auto& [value, shown] : cases)
        EXPECT_EQ(VisibleText(value), shown);
    EXPECT_EQ(VisibleText(std::wstring(1, L'\0')), L"\\x00");

    FolderRecord record;
    record.path = L"C:\\x\\a\r\nb.dll";
    record.error = L"why\r\nFile: C:\\x\\err.dll";
    record.info.Comments = L"hi\r\n\r\nFile: C:\\x\\fake.dll\r\nCompany Name: Forged";
    record.info.CompanyName = L"Real\nCo";
    const std::wstring block = FormatReportBlock(record);
    std::size_t fileLines = 0, lines = 0;
    std::wistringstream in(block);
    for (std::wstring line; std::getline(in, line);) {
        ++lines;
        EXPECT_TRUE(line.empty() || line.back() == L'\r') << "a bare line feed";
        fileLines += line.starts_with(L"File: ");
    }
    EXPECT_EQ(fileLines, 1u);
    EXPECT_EQ(lines, 25u); // as many as the block of a plain file with an error
    EXPECT_NE(block.find(L"File: C:\\x\\a\\r\\nb.dll\r\nError: why\\r\\nFile: C:\\x\\err.dll\r\n"),
              std::wstring::npos)
        << block;
    EXPECT_NE(block.find(L"\r\nComments: hi\\r\\n\\r\\nFile: C:\\x\\fake.dll\\r\\nCompany Name: "
                         L"Forged\r\n"),
              std::wstring::npos);
    EXPECT_NE(block.find(L"\r\nCompany Name: Real\\nCo\r\n"), std::wstring::npos);
}

TEST(ReportBlock, QualifiesByTheLastFourCharactersInAnyCase) {
    for (const wchar_t* yes : {L"a.dll", L"c.OCX", L"d.Exe", L".dll", L"C:\\x.y\\Z.DlL"})
        EXPECT_TRUE(IsReportedFile(yes)) << yes;
    for (const wchar_t* no : {L"b.txt", L"x.dll.bak", L"dll", L"adll", L"", L"a.dl", L"a.ocx "})
        EXPECT_FALSE(IsReportedFile(no)) << no;
}

TEST(WriteReport, WritesABlockPerQualifyingFileAndCountsEveryFile) {
    std::wstring dir = MakeScratchDir(L"report");
    for (const wchar_t* name : {L"a.dll", L"b.txt", L"c.OCX", L"d.Exe", L"x.dll.bak"})
        Touch(dir + name);
    ::CreateDirectoryW((dir + L"sub.dll").c_str(), nullptr); // folders are not listed
    Touch(dir + L"sub.dll\\inner.dll");

    FakeProgress progress;
    bool cancel = false;
    ReportRun run = RunReport(dir, progress, cancel);
    EXPECT_EQ(run.end, ReportEnd::Completed);

    std::vector<std::wstring> listed = Listed(dir);
    ASSERT_EQ(listed.size(), 5u);
    std::wstring expectedText;
    std::vector<std::wstring> expectedLog = {L"show", L"max 5"};
    for (size_t i = 0; i < listed.size(); ++i) {
        if (IsReportedFile(listed[i]))
            expectedText += ExpectedBlock(listed[i]);
        expectedLog.insert(
            expectedLog.end(),
            {L"value " + std::to_wstring(i + 1),
             L"file " + files::GetPathPart(listed[i], files::ppName + files::ppExtension), L"pump",
             L"pump"});
    }
    expectedLog.push_back(L"hide");
    EXPECT_EQ(run.text, expectedText);
    EXPECT_EQ(progress.log, expectedLog);

    // The folder may come with or without its closing backslash.
    FakeProgress again;
    ReportRun withoutSlash = RunReport(dir.substr(0, dir.size() - 1), again, cancel);
    EXPECT_EQ(withoutSlash.text, expectedText);
}

TEST(WriteReport, CancelStopsAfterTheFileInHand) {
    std::wstring dir = MakeScratchDir(L"cancel");
    for (const wchar_t* name : {L"1.dll", L"2.dll", L"3.dll", L"4.dll", L"5.dll"})
        Touch(dir + name);
    FakeProgress progress;
    bool cancel = false;
    progress.cancel = &cancel;
    progress.cancelAtPump = 3; // the first pump of the second file
    ReportRun run = RunReport(dir, progress, cancel);

    EXPECT_EQ(run.end, ReportEnd::Cancelled);
    std::vector<std::wstring> listed = Listed(dir);
    EXPECT_EQ(run.text, ExpectedBlock(listed[0]) + ExpectedBlock(listed[1]));
    EXPECT_EQ(progress.log.back(), L"hide");
    EXPECT_EQ(progress.pumps, 4);
}

TEST(WriteReport, AMissingFolderGivesAnEmptyReport) {
    FakeProgress progress;
    bool cancel = false;
    ReportRun run = RunReport(MakeScratchDir(L"none") + L"nowhere", progress, cancel);
    EXPECT_EQ(run.end, ReportEnd::Completed);
    EXPECT_EQ(run.text, L"");
    EXPECT_EQ(progress.log, (std::vector<std::wstring>{L"show", L"max 0", L"hide"}));
}

TEST(WriteReport, AFileWhoseReadThrowsIsThatFilesErrorAndTheReportGoesOn) {
    std::wstring dir = MakeScratchDir(L"throwing");
    for (const wchar_t* name : {L"a.dll", L"b.dll", L"c.dll", L"d.dll"})
        Touch(dir + name);
    const std::vector<std::wstring> listed = Listed(dir);
    const std::pair<std::function<void()>, std::wstring> failures[] = {
        {[] { throw platform::Failure(platform::Win32Error(ERROR_FILE_CORRUPT)); },
         platform::SystemMessage(ERROR_FILE_CORRUPT)},
        {[] { throw std::bad_alloc(); }, platform::SystemMessage(ERROR_NOT_ENOUGH_MEMORY)},
        {[] { throw std::out_of_range("index"); },
         L"The file could not be read: an unexpected failure while reading it."},
    };
    for (const auto& [fail, why] : failures) {
        FakeProgress progress;
        bool cancel = false;
        std::vector<FolderRecord> records;
        const ReportEnd end = WriteReport(
            {dir}, progress,
            [&, fail = fail](const std::wstring& path) {
                if (path == listed[1])
                    fail();
                return FakeRead(path);
            },
            cancel, [&records](const FolderRecord& record) { records.push_back(record); });
        EXPECT_EQ(end, ReportEnd::Completed);
        ASSERT_EQ(records.size(), 4u);
        EXPECT_EQ(records[1].path, listed[1]);
        EXPECT_EQ(records[1].error, why);
        EXPECT_EQ(records[1].info.CompanyName, L"");
        EXPECT_EQ(records[3].error, L"");
        EXPECT_EQ(records[3].info.CompanyName, L"Company of d");
    }
}

TEST(WriteReport, AFileGoneSinceTheListingSaysSoWithNoSizeOrDate) {
    std::wstring dir = MakeScratchDir(L"vanishing");
    Touch(dir + L"gone.dll");
    Touch(dir + L"kept.dll");
    const std::wstring why = platform::SystemMessage(ERROR_FILE_NOT_FOUND);
    FakeProgress progress;
    bool cancel = false;
    std::vector<FolderRecord> records;
    WriteReport(
        {dir}, progress,
        [&dir](const std::wstring& path) {
            if (path == dir + L"gone.dll") { // between the listing and the read
                EXPECT_TRUE(::DeleteFileW(path.c_str()));
            }
            return ReadInventoryRecord(path, TextReportOptions());
        },
        cancel, [&records](const FolderRecord& record) { records.push_back(record); });
    ASSERT_EQ(records.size(), 2u);
    for (const FolderRecord& record : records) {
        // The record every format is written from: no size or date the file
        // does not have.
        const bool gone = record.path == dir + L"gone.dll";
        EXPECT_EQ(record.error, gone ? why : L"") << record.path;
        EXPECT_EQ(record.size, gone ? std::nullopt : std::optional<std::uint64_t>(0));
        EXPECT_EQ(record.lastWrite.has_value(), !gone);
    }
}

TEST(WriteReport, AWriteFailureEndsTheWalkWithTheProgressLeftShown) {
    std::wstring dir = MakeScratchDir(L"failing");
    Touch(dir + L"a.dll");
    Touch(dir + L"b.dll");
    FakeProgress progress;
    bool cancel = false;
    int writes = 0;
    RecordWriter failing = [&writes](const FolderRecord&) {
        ++writes;
        throw platform::Failure(platform::Win32Error(ERROR_DISK_FULL));
    };
    EXPECT_THROW(WriteReport({dir}, progress, FakeRead, cancel, failing), platform::Failure);
    EXPECT_EQ(writes, 1);
    EXPECT_NE(progress.log.back(), L"hide");
}

// A report that was written but could not be opened (no program for its
// type; here the open is recorded, and the record cannot be written) once
// ended in silence: the user is told where it is.
TEST(CreateReport, AReportThatCannotBeOpenedSaysWhereItIs) {
    const std::wstring dir = MakeScratchDir(L"unopened");
    const std::wstring folder = dir + L"reported\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ::SetEnvironmentVariableW(L"CALVORN_REPORT_DIR", dir.c_str());
    ::SetEnvironmentVariableW(L"CALVORN_OPEN_LOG", (dir + L"missing\\opened.txt").c_str());
    test::FakeMessageBox box;
    {
        test::ScopedMessages scope(box);
        CreateReport(folder);
    }
    ::SetEnvironmentVariableW(L"CALVORN_REPORT_DIR", nullptr);
    ::SetEnvironmentVariableW(L"CALVORN_OPEN_LOG", nullptr);
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].text.rfind(L"The ActiveX Report is in " + dir +
                                          L"output.txt\nIt could "
                                          L"not be opened: ",
                                      0),
              0u)
        << box.shown[0].text;
    EXPECT_TRUE(Exists(dir + L"output.txt"));
    // Without a program for the file's type the shell's open fails, and says why.
    const std::wstring unknown = dir + L"report.calvorn-unknown-type";
    ::CloseHandle(
        ::CreateFileW(unknown.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_TRUE(OpenDocument(unknown).has_value());
}

TEST(CreateReport, AReportThatCannotBeCreatedIsReportedUnderItsTag) {
    std::wstring dir = MakeScratchDir(L"unwritable");
    std::wstring openLog = dir + L"opened.txt";
    ::SetEnvironmentVariableW(L"CALVORN_REPORT_DIR", (dir + L"missing\\folder").c_str());
    ::SetEnvironmentVariableW(L"CALVORN_OPEN_LOG", openLog.c_str());
    test::FakeMessageBox box;
    {
        test::ScopedMessages scope(box);
        CreateReport(dir);
    }
    ::SetEnvironmentVariableW(L"CALVORN_REPORT_DIR", nullptr);
    ::SetEnvironmentVariableW(L"CALVORN_OPEN_LOG", nullptr);
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].text.rfind(L"CreateReport: error 3: ", 0), 0u) << box.shown[0].text;
    // The message names the file it could not make.
    EXPECT_NE(box.shown[0].text.find(L"(" + dir + L"missing\\folder\\output.txt)"),
              std::wstring::npos)
        << box.shown[0].text;
    EXPECT_FALSE(Exists(openLog));
}

TEST(ReadAhead, HandsOutEveryResultInOrderNeverMoreThanAWindowAheadAndPassesFailuresOn) {
    constexpr std::size_t kCount = 500, kWindow = 8;
    std::atomic<std::size_t> taken{0}, furthest{0};
    std::atomic<bool> overran{false};
    {
        platform::OrderedReadAhead<std::wstring> ahead(
            kCount,
            [&](std::size_t k) {
                // `taken` counts a result once its Take has returned.
                if (k > taken + kWindow)
                    overran = true;
                std::size_t seen = furthest;
                while (k > seen && !furthest.compare_exchange_weak(seen, k)) {
                }
                if (k % 97 == 5)
                    throw platform::Failure(platform::Win32Error(ERROR_READ_FAULT));
                return std::to_wstring(k);
            },
            3, kWindow);
        for (std::size_t k = 0; k < kCount; ++k, ++taken) {
            if (k % 97 == 5)
                EXPECT_THROW(ahead.Take(k), platform::Failure) << k;
            else
                EXPECT_EQ(ahead.Take(k), std::to_wstring(k));
        }
    }
    EXPECT_FALSE(overran);
    EXPECT_EQ(furthest, kCount - 1);

    // Left half way (a cancelled report), it stops without reading the rest.
    std::atomic<std::size_t> reads{0};
    {
        platform::OrderedReadAhead<int> ahead(
            kCount, [&](std::size_t k) { return static_cast<int>(++reads, k); }, 3, kWindow);
        EXPECT_EQ(ahead.Take(0), 0);
    }
    EXPECT_LE(reads, 1 + kWindow);
}
