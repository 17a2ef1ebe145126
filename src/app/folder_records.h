#pragma once
// What the folder report says about one component file, and the one table of
// its fields that the text blocks, the CSV rows and the JSON lines are all
// written from. Free of Windows headers: fuzzed and tested natively.

#include "inspection/file_signature.h"
#include "inspection/module_inventory.h"
#include "inspection/version_fields.h"
#include "platform/json_text.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace calvorn::app {

// What the inventory (CSV and JSON) adds to the version fields; the text
// report does not read it.
struct InventoryFacts {
    // False until the facts were read: an unreadable file, or a text report,
    // leaves every cell empty (null in JSON).
    bool read = false;
    inspection::ModuleInventory module;
    // The type library's identity: "{GUID}", "1.0" and its name.
    std::wstring typeLibId;
    std::wstring typeLibVersion;
    std::wstring typeLibName;
    // Whether the machine has the library's classes, library and interfaces
    // registered to this file (the words of "-check"); empty without one.
    std::wstring registration;
    // Lower-case hex; empty when not chosen.
    std::string sha256;
    std::string md5;
    std::string sha1;
};

// The columns a run writes besides those always written.
struct ReportColumns {
    bool md5 = false;
    bool sha1 = false;
    bool signature = false; // "-sig": signature, signer, signed_utc
};

struct FolderRecord {
    std::wstring path; // the full name
    inspection::VersionFields info;
    // Nothing when the file could not be read: an empty cell (null in JSON),
    // never a size or date that the file does not have.
    std::optional<std::uint64_t> size;
    // 100-nanosecond intervals since 1 January 1601 UTC, as the file system
    // keeps the last write.
    std::optional<std::uint64_t> lastWrite;
    // The system's text for why the file could not be read (info.ReadError,
    // or a failure while reading it); empty when it was read, with or without
    // version information.
    std::wstring error;
    // Only when the signature was asked for ("-sig") and the file was read.
    std::optional<inspection::FileSignature> signature;
    InventoryFacts inventory;
    // Read under "-types all" and found to be no module: not reported.
    bool excluded = false;
};

// Where a field stands in a text block: the blocks are parted by an empty
// line, the extended one under its own heading.
enum class BlockPart { File, Strings, Extended, None };
// How a column's value is written in JSON: text, a number, or a time stamp;
// a number or time the record does not have is null.
enum class ColumnKind { Text, Number, Time, Boolean };
// Which runs write a column.
enum class ColumnChoice { Always, Md5, Sha1, Signature };

struct ReportField {
    // The text report's label ("Company Name: "); nullptr when the field is
    // not in the text report.
    const wchar_t* label;
    BlockPart part;
    // Its line is left out when the value is empty.
    bool lineOnlyWhenSet;
    // The CSV column and JSON key; nullptr when the field is only in the text.
    const char* column;
    // Where the column stands among the columns: their order is the one the
    // machine-readable report has always had, the table's is the text's.
    int columnIndex;
    ColumnKind kind;
    // The flags field carries a blank after its last word; a column does not.
    bool trailingBlanksInColumn;
    std::wstring (*value)(const FolderRecord&);
    ColumnChoice choice = ColumnChoice::Always;
};

// Every field, in the text report's order.
std::span<const ReportField> ReportFields();

// "2024-05-01T12:34:56Z"; whole seconds.
std::string IsoUtc(std::uint64_t fileTime);

// A value as one line of the text report: CR, LF and tab become "\r", "\n"
// and "\t", any other control character "\x" and two hex digits, the
// Unicode line and paragraph separators "\u2028" and "\u2029". A backslash
// stays as it is, since paths are full of them: "\n" in the text report may
// also be those two characters of the value (the CSV and JSON reports keep
// every value exact).
std::wstring VisibleText(std::wstring_view value);

// One file's block of text, its closing line end included, every value on
// its one line (see VisibleText). An unreadable file gets a line
// "Error: <why>" right after its "File: " line.
std::wstring FormatReportBlock(const FolderRecord& record);

// The header row and one row, each ending in CR LF. A cell that a
// spreadsheet would take for a formula (it begins with "=", "+", "-", "@",
// a tab or a CR) is quoted and begins with "'", which makes it text there.
std::string CsvHeader(const ReportColumns& chosen = {});
std::string CsvRow(const FolderRecord& record, const ReportColumns& chosen = {});
// One JSON object and a LF.
std::string JsonLine(const FolderRecord& record, const ReportColumns& chosen = {});

// One CSV cell of UTF-8 text, quoted and neutralised as the rows above are.
std::string CsvField(const std::string& value);
using platform::JsonString;

// What a column says and an example of it, for the usage text and the README.
struct ColumnHelp {
    const char* column;
    const char* meaning;
    const char* example;
};
std::span<const ColumnHelp> ColumnHelps();
// The columns of the CSV and JSON reports, one a line with its meaning, and
// an example row.
std::wstring ColumnsUsage();

} // namespace calvorn::app
