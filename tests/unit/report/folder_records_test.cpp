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
                           "flags,size,last_write_utc,error,machine,dotnet,file_version_string,"
                           "private_build,special_build,language,file_flags_hex,file_os_hex,"
                           "file_type_hex,file_subtype_hex,link_time_utc,sha256,self_registering,"
                           "typelib_id,typelib_version,typelib_name,registration\r\n");
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
    EXPECT_NE(row.find(",Debug Patched,5000000000,2024-05-01T00:00:00Z,,"), std::string::npos);
    // Thirty-five fields: thirty-four separators outside quotes.
    size_t separators = 0;
    bool quoted = false;
    for (char c : row) {
        if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            ++separators;
    }
    EXPECT_EQ(separators, 35u);
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
    EXPECT_NE(CsvHeader().find(",last_write_utc,error,"), std::string::npos);
    FolderRecord read = Sample();
    EXPECT_NE(CsvRow(read).find(",2024-05-01T00:00:00Z,,"), std::string::npos);
    EXPECT_NE(JsonLine(read).find(",\"last_write_utc\":\"2024-05-01T00:00:00Z\",\"error\":\"\","),
              std::string::npos);

    FolderRecord gone;
    gone.path = L"C:\\App\\gone.dll";
    gone.error = L"The system cannot find the file specified.";
    EXPECT_EQ(CsvRow(gone), "C:\\App\\gone.dll,,,,,,,,,,,,,,,,,,The system cannot find the file "
                            "specified.,,,,,,,,,,,,,,,,,\r\n");
    EXPECT_NE(JsonLine(gone).find(
                  ",\"size\":null,\"last_write_utc\":null,\"error\":\"The system cannot find the "
                  "file specified.\",\"machine\":\"\",\"dotnet\":null,"),
              std::string::npos);
    // No link time or yes-or-no is made up for a file that was not read.
    EXPECT_NE(
        JsonLine(gone).find("\"link_time_utc\":null,\"sha256\":\"\",\"self_registering\":null,"),
        std::string::npos);
}

// The inventory's columns: each value in its cell and under its key, the
// yes-or-no ones JSON booleans, md5 and sha1 only when chosen.
TEST(FolderRecords, InventoryColumnsTakeTheirValues) {
    FolderRecord r;
    r.path = L"C:\\App\\x.dll";
    r.lastWrite = 133589952000000000ull; // 2024-05-01
    r.info.FileVersion = L"4.2 build 118";
    r.info.PrivateBuild = L"by jo";
    r.info.SpecialBuild = L"hotfix";
    r.info.Language = "0407 04E4";
    r.info.Fixed = calvorn::inspection::FixedFileInfo{0xFEEF04BD, 0,       0, 0,   0, 0, 0x3F,
                                                      0x2A,       0x40004, 2, 0xB, 0, 0};
    InventoryFacts& f = r.inventory;
    f.read = true;
    f.module.machine = "x64";
    f.module.dotnet = true;
    f.module.linkStamp = 1600000000; // 2020-09-13T12:26:40Z
    f.sha256 = "ab01";
    f.md5 = "cd02";
    f.sha1 = "ef03";
    f.typeLibId = L"{0ECD9B60-23AA-11D0-B351-00A0C9055D8E}";
    f.typeLibVersion = L"1.10";
    f.typeLibName = L"GridLib";
    f.registration = L"registered-elsewhere";
    const std::pair<const char*, const char*> cells[] = {
        {"machine", "\"x64\""},
        {"dotnet", "true"},
        {"file_version_string", "\"4.2 build 118\""},
        {"private_build", "\"by jo\""},
        {"special_build", "\"hotfix\""},
        {"language", "\"0407 04E4\""},
        {"file_flags_hex", "\"0000002A\""},
        {"file_os_hex", "\"00040004\""},
        {"file_type_hex", "\"00000002\""},
        {"file_subtype_hex", "\"0000000B\""},
        {"link_time_utc", "\"2020-09-13T12:26:40Z\""},
        {"sha256", "\"ab01\""},
        {"self_registering", "false"},
        {"typelib_id", "\"{0ECD9B60-23AA-11D0-B351-00A0C9055D8E}\""},
        {"typelib_version", "\"1.10\""},
        {"typelib_name", "\"GridLib\""},
        {"registration", "\"registered-elsewhere\""},
    };
    const std::string line = JsonLine(r);
    for (const auto& [key, value] : cells) {
        std::string pair = std::string(1, '"').append(key).append("\":").append(value);
        EXPECT_NE(line.find(pair), std::string::npos) << key;
    }
    EXPECT_TRUE(
        CsvRow(r).ends_with(",x64,true,4.2 build 118,by jo,hotfix,0407 04E4,0000002A,00040004,"
                            "00000002,0000000B,2020-09-13T12:26:40Z,ab01,false,"
                            "{0ECD9B60-23AA-11D0-B351-00A0C9055D8E},1.10,GridLib,"
                            "registered-elsewhere\r\n"));
    EXPECT_EQ(line.find("md5"), std::string::npos);

    const ReportColumns both{true, true};
    EXPECT_NE(CsvHeader(both).find(",sha256,md5,sha1,self_registering,"), std::string::npos);
    EXPECT_NE(CsvRow(r, both).find(",ab01,cd02,ef03,false,"), std::string::npos);
    EXPECT_NE(JsonLine(r, {false, true}).find("\"sha256\":\"ab01\",\"sha1\":\"ef03\","),
              std::string::npos);

    // Self-registering by its export or by the version resource's word.
    r.info.OleSelfRegister = true;
    EXPECT_NE(JsonLine(r).find("\"self_registering\":true"), std::string::npos);
    r.info.OleSelfRegister = false;
    r.inventory.module.exportsRegister = true;
    EXPECT_NE(JsonLine(r).find("\"self_registering\":true"), std::string::npos);
    // A reproducible build's stamp is no time.
    r.inventory.module.reproducible = true;
    EXPECT_NE(JsonLine(r).find("\"link_time_utc\":null"), std::string::npos);
    // None of these is in the text report.
    EXPECT_EQ(FormatReportBlock(r).find(L"4.2 build 118"), std::wstring::npos);
}

// The usage text names every column the report can write, in its order.
TEST(FolderRecords, EveryColumnIsExplained) {
    std::string header = CsvHeader({true, true, true});
    header.resize(header.size() - 2);
    std::string listed;
    for (const ColumnHelp& help : ColumnHelps())
        listed.append(listed.empty() ? "" : ",").append(help.column);
    EXPECT_EQ(listed, header);
    const std::wstring usage = ColumnsUsage();
    EXPECT_NE(usage.find(L"  link_time_utc"), std::wstring::npos);
    EXPECT_NE(usage.find(L"Example row"), std::wstring::npos);
}

// "-sig" adds its three columns after all others, and only then; a time
// that the signature does not have is empty in CSV and null in JSON.
TEST(FolderRecords, SignatureColumnsOnlyWhenAskedFor) {
    const ReportColumns sig{false, false, true};
    EXPECT_EQ(CsvHeader(), CsvHeader({false, false, false}));
    EXPECT_TRUE(
        CsvHeader(sig).ends_with(",typelib_name,registration,signature,signer,signed_utc\r\n"));
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
    const std::string goneRow = CsvRow(gone, sig);
    EXPECT_TRUE(goneRow.ends_with(",,,\r\n"));
    EXPECT_NE(goneRow.find(",gone,"), std::string::npos);
}
