// The machine-readable folder report: CSV quoting, JSON escaping, UTF-8 and
// the time stamp; every character of a version string comes out intact.

#include "app/folder_records.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace calvorn::app;

namespace {

FolderRecord Sample() {
    FolderRecord r;
    r.path = L"C:\\App\\a.dll";
    r.info.CompanyName = L"Acme, \"Best\" Ltd";
    r.info.FileDescription = L"line one\r\nline two";
    r.info.ProductName = L"名前 ✓ \U0001F600";
    r.info.Comments = L"tab\there \\ back";
    r.info.FileVerEx = L"1.2.3.4";
    r.info.FileFlagsEx = L"Debug Patched ";
    r.size = 5000000000ull;
    r.lastWrite = 133589952000000000ull; // 2024-05-01T00:00:00Z
    return r;
}

} // namespace

TEST(FolderRecords, Utf8KeepsEveryCharacter) {
    using calvorn::platform::Narrow;
    EXPECT_EQ(Narrow(L"a\u00e9\u540d"), "a\xC3\xA9\xE5\x90\x8D");
    EXPECT_EQ(Narrow(L"\U0001F600"), "\xF0\x9F\x98\x80");
    // A lone surrogate cannot be UTF-8; it becomes the replacement mark.
    EXPECT_EQ(Narrow(std::wstring(1, static_cast<wchar_t>(0xD800)) + L"x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(Narrow(L"x" + std::wstring(1, static_cast<wchar_t>(0xDC00))), "x\xEF\xBF\xBD");
}

// The text blocks, the CSV rows and the JSON lines come from one table: a
// value set on a record comes out under its label and in its column.
TEST(FolderRecords, EveryFieldReachesItsLabelAndItsColumn) {
    EXPECT_EQ(CsvHeader(), "path,company_name,file_description,internal_name,legal_copyright,"
                           "legal_trademarks,original_filename,product_name,product_version,"
                           "comments,fixed_file_version,fixed_product_version,type,subtype,os,"
                           "flags,size,last_write_utc,error\r\n");
    const std::pair<std::wstring FolderRecord::*, std::string> outer[] = {
        {&FolderRecord::path, "path"}, {&FolderRecord::error, "error"}};
    for (const auto& [member, column] : outer) {
        FolderRecord r;
        r.*member = L"v\u00e9";
        EXPECT_NE(JsonLine(r).find("\"" + column + "\":\"v\xC3\xA9\""), std::string::npos)
            << column;
    }
    using Info = calvorn::inspection::VersionFields;
    const std::tuple<std::wstring Info::*, const wchar_t*, const char*> fields[] = {
        {&Info::CompanyName, L"\r\nCompany Name: ", "company_name"},
        {&Info::FileDescription, L"\r\nFile Description: ", "file_description"},
        {&Info::InternalName, L"\r\nInternal Name: ", "internal_name"},
        {&Info::LegalCopyright, L"\r\nLegal Copyright: ", "legal_copyright"},
        {&Info::LegalTrademarks, L"\r\nLegal Trademarks: ", "legal_trademarks"},
        {&Info::OriginalFileName, L"\r\nOriginal Filename: ", "original_filename"},
        {&Info::ProductName, L"\r\nProduct Name: ", "product_name"},
        {&Info::Comments, L"\r\nComments: ", "comments"},
        {&Info::FileTypeEx, L"\r\nType: ", "type"},
        {&Info::FileSubTypeEx, L"\r\nSubType: ", "subtype"},
        {&Info::FileVerEx, L"\r\nVersion: ", "fixed_file_version"},
        {&Info::FileOSEx, L"\r\nOS: ", "os"},
        {&Info::StrucVerEx, L"\r\nStructure Version: ", nullptr}, // text only
        {&Info::FileFlagsEx, L"\r\nFlags: ", "flags"},
    };
    for (const auto& [member, label, column] : fields) {
        FolderRecord r;
        r.info.*member = L"v\u00e9";
        EXPECT_NE(FormatReportBlock(r).find(std::wstring(label) + L"v\u00e9\r\n"),
                  std::wstring::npos)
            << label;
        const std::string row = CsvRow(r);
        // One cell holds the value, and its key in JSON; the structure
        // version is in the text alone.
        EXPECT_EQ(row.find("v\xC3\xA9"), row.rfind("v\xC3\xA9")) << label;
        EXPECT_EQ(row.find("v\xC3\xA9") == std::string::npos, column == nullptr) << label;
        if (column) {
            EXPECT_NE(JsonLine(r).find(std::string("\"") + column + "\":\"v\xC3\xA9\""),
                      std::string::npos)
                << column;
        }
    }
    // The two product versions: the string-table one among the strings, the
    // fixed one in the extended block and in its own column.
    FolderRecord r;
    r.info.ProductVersion = L"strings";
    r.info.ProdVerEx = L"fixed";
    const std::wstring block = FormatReportBlock(r);
    EXPECT_LT(block.find(L"Product Version: strings\r\nComments: "),
              block.find(L"Extended File Info \r\n\r\nType: \r\nSubType: \r\nVersion: \r\n"
                         L"Product Version: fixed\r\nOS: "));
    EXPECT_NE(JsonLine(r).find("\"product_version\":\"strings\""), std::string::npos);
    EXPECT_NE(JsonLine(r).find("\"fixed_product_version\":\"fixed\""), std::string::npos);
}

TEST(FolderRecords, IsoTimeInUtc) {
    EXPECT_EQ(IsoUtc(0), "1601-01-01T00:00:00Z");
    EXPECT_EQ(IsoUtc(133589952000000000ull), "2024-05-01T00:00:00Z");
    EXPECT_EQ(IsoUtc(133589952000000000ull + 864000000000ull * 59 + 10000000ull * 3723),
              "2024-06-29T01:02:03Z");
    EXPECT_EQ(IsoUtc(126227808000000000ull - 10000000ull), "2000-12-31T23:59:59Z");
}

TEST(FolderRecords, CsvRowQuotesOnlyWhatNeedsIt) {
    EXPECT_EQ(CsvHeader().rfind("path,company_name,", 0), 0u);
    std::string row = CsvRow(Sample());
    EXPECT_EQ(row.rfind("C:\\App\\a.dll,\"Acme, \"\"Best\"\" Ltd\",\"line one\r\nline two\",", 0),
              0u)
        << row;
    EXPECT_NE(row.find(",\xE5\x90\x8D\xE5\x89\x8D \xE2\x9C\x93 \xF0\x9F\x98\x80,"),
              std::string::npos);
    EXPECT_NE(row.find(",Debug Patched,5000000000,2024-05-01T00:00:00Z,\r\n"), std::string::npos);
    // Nineteen fields: eighteen separators outside quotes.
    size_t separators = 0;
    bool quoted = false;
    for (char c : row) {
        if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            ++separators;
    }
    EXPECT_EQ(separators, 18u);
}

TEST(FolderRecords, JsonLineEscapesAndKeepsTheSizeANumber) {
    std::string line = JsonLine(Sample());
    EXPECT_EQ(
        line.rfind("{\"path\":\"C:\\\\App\\\\a.dll\",\"company_name\":\"Acme, \\\"Best\\\" Ltd\","
                   "\"file_description\":\"line one\\r\\nline two\",",
                   0),
        0u)
        << line;
    EXPECT_NE(line.find("\"comments\":\"tab\\there \\\\ back\""), std::string::npos);
    EXPECT_NE(
        line.find("\"product_name\":\"\xE5\x90\x8D\xE5\x89\x8D \xE2\x9C\x93 \xF0\x9F\x98\x80\""),
        std::string::npos);
    EXPECT_NE(line.find("\"size\":5000000000,"), std::string::npos);
    EXPECT_EQ(line.substr(line.size() - 2), "}\n");
    EXPECT_EQ(line.find('\n'), line.size() - 1); // one line, whatever the fields hold
    FolderRecord control;
    control.info.Comments = std::wstring(1, L'\x01');
    EXPECT_NE(JsonLine(control).find("\"comments\":\"\\u0001\""), std::string::npos);
}

TEST(FolderRecords, FormulaLikeCellsAreTextInCsvAndExactInJson) {
    const std::pair<std::wstring, std::string> cases[] = {
        {L"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
        {L"+1", "\"'+1\""},
        {L"-2+3", "\"'-2+3\""},
        {L"@SUM(A1)", "\"'@SUM(A1)\""},
        {L"\tx", "\"'\tx\""},
        {L"\rx", "\"'\rx\""},
        {L"a=b", "a=b"}, // only the first character makes a formula
        {L"", ""},
    };
    for (const auto& [value, cell] : cases) {
        FolderRecord r;
        r.path = L"p";
        r.info.Comments = value;
        const std::string row = CsvRow(r);
        EXPECT_NE(row.find(',' + cell + ','), std::string::npos) << row;
        // JSON has no formulas: the value stays as it is.
        EXPECT_EQ(JsonLine(r).find("\"comments\":\"'"), std::string::npos);
    }
}

TEST(FolderRecords, AnUnreadableFileCarriesItsErrorAndNoSizeOrDate) {
    EXPECT_TRUE(CsvHeader().ends_with(",last_write_utc,error\r\n"));
    FolderRecord read = Sample();
    EXPECT_TRUE(CsvRow(read).ends_with(",2024-05-01T00:00:00Z,\r\n"));
    EXPECT_TRUE(
        JsonLine(read).ends_with(",\"last_write_utc\":\"2024-05-01T00:00:00Z\",\"error\":\"\"}\n"));

    FolderRecord gone;
    gone.path = L"C:\\App\\gone.dll";
    gone.error = L"The system cannot find the file specified.";
    EXPECT_EQ(CsvRow(gone), "C:\\App\\gone.dll,,,,,,,,,,,,,,,,,,The system cannot find the file "
                            "specified.\r\n");
    EXPECT_TRUE(JsonLine(gone).ends_with(
        ",\"size\":null,\"last_write_utc\":null,\"error\":\"The system cannot find the file "
        "specified.\"}\n"));
}

// "-sig" adds its three columns after all others, and only then; a time
// that the signature does not have is empty in CSV and null in JSON.
TEST(FolderRecords, SignatureColumnsOnlyWhenAskedFor) {
    const ReportColumns sig{true};
    EXPECT_EQ(CsvHeader(), CsvHeader({false}));
    EXPECT_TRUE(CsvHeader(sig).ends_with(",error,signature,signer,signed_utc\r\n"));
    FolderRecord r = Sample();
    r.signature = calvorn::inspection::FileSignature{calvorn::inspection::SignatureState::Untrusted,
                                                     L"Acme, Inc.", 133589952000000000ull, 0};
    EXPECT_EQ(CsvRow(r), CsvRow(Sample()));
    EXPECT_TRUE(
        CsvRow(r, sig).ends_with(",signed-untrusted,\"Acme, Inc.\",2024-05-01T00:00:00Z\r\n"));
    r.signature->state = calvorn::inspection::SignatureState::Invalid;
    r.signature->signer.clear();
    r.signature->signedTime.reset();
    EXPECT_TRUE(JsonLine(r, sig).ends_with(
        ",\"signature\":\"signed-invalid\",\"signer\":\"\",\"signed_utc\":null}\n"));
    // Unread, so never checked: no state is made up for it.
    FolderRecord gone;
    gone.error = L"gone";
    EXPECT_TRUE(CsvRow(gone, sig).ends_with(",gone,,,\r\n"));
}
