#include "app/folder_records.h"

#include "platform/text.h"

#include <array>
#include <cstdio>
#include <string_view>
#include <utility>

namespace calvorn::app {

std::string IsoUtc(std::uint64_t fileTime) {
    std::uint64_t seconds = fileTime / 10000000u;
    const std::uint32_t secondOfDay = static_cast<std::uint32_t>(seconds % 86400u);
    // Days from 1601-01-01 to the civil-date epoch 0000-03-01 used below.
    std::int64_t days = static_cast<std::int64_t>(seconds / 86400u) + 584694;
    const std::int64_t era = days / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const unsigned day = static_cast<unsigned>(dayOfYear - (153 * mp + 2) / 5 + 1);
    const unsigned month = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);

    char text[32];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02u:%02u:%02uZ",
                  static_cast<long long>(year), month, day, secondOfDay / 3600,
                  secondOfDay / 60 % 60, secondOfDay % 60);
    return text;
}

namespace {

std::wstring Ascii(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

constexpr int kColumnCount = 19;

// Text fields of the version information, by member.
template <std::wstring inspection::VersionFields::*member>
std::wstring Info(const FolderRecord& r) {
    return r.info.*member;
}

using FileInfo = inspection::VersionFields;

constexpr ReportField kFields[] = {
    {L"File: ", BlockPart::File, false, "path", 0, ColumnKind::Text, false,
     [](const FolderRecord& r) { return r.path; }},
    {L"Error: ", BlockPart::File, true, "error", 18, ColumnKind::Text, false,
     [](const FolderRecord& r) { return r.error; }},
    {L"Company Name: ", BlockPart::Strings, false, "company_name", 1, ColumnKind::Text, false,
     Info<&FileInfo::CompanyName>},
    {L"File Description: ", BlockPart::Strings, false, "file_description", 2, ColumnKind::Text,
     false, Info<&FileInfo::FileDescription>},
    {L"Internal Name: ", BlockPart::Strings, false, "internal_name", 3, ColumnKind::Text, false,
     Info<&FileInfo::InternalName>},
    {L"Legal Copyright: ", BlockPart::Strings, false, "legal_copyright", 4, ColumnKind::Text, false,
     Info<&FileInfo::LegalCopyright>},
    {L"Legal Trademarks: ", BlockPart::Strings, false, "legal_trademarks", 5, ColumnKind::Text,
     false, Info<&FileInfo::LegalTrademarks>},
    {L"Original Filename: ", BlockPart::Strings, false, "original_filename", 6, ColumnKind::Text,
     false, Info<&FileInfo::OriginalFileName>},
    {L"Product Name: ", BlockPart::Strings, false, "product_name", 7, ColumnKind::Text, false,
     Info<&FileInfo::ProductName>},
    {L"Product Version: ", BlockPart::Strings, false, "product_version", 8, ColumnKind::Text, false,
     Info<&FileInfo::ProductVersion>},
    {L"Comments: ", BlockPart::Strings, false, "comments", 9, ColumnKind::Text, false,
     Info<&FileInfo::Comments>},
    {L"Type: ", BlockPart::Extended, false, "type", 12, ColumnKind::Text, false,
     Info<&FileInfo::FileTypeEx>},
    {L"SubType: ", BlockPart::Extended, false, "subtype", 13, ColumnKind::Text, false,
     Info<&FileInfo::FileSubTypeEx>},
    {L"Version: ", BlockPart::Extended, false, "fixed_file_version", 10, ColumnKind::Text, false,
     Info<&FileInfo::FileVerEx>},
    {L"Product Version: ", BlockPart::Extended, false, "fixed_product_version", 11,
     ColumnKind::Text, false, Info<&FileInfo::ProdVerEx>},
    {L"OS: ", BlockPart::Extended, false, "os", 14, ColumnKind::Text, false,
     Info<&FileInfo::FileOSEx>},
    {L"Structure Version: ", BlockPart::Extended, false, nullptr, -1, ColumnKind::Text, false,
     Info<&FileInfo::StrucVerEx>},
    {L"Flags: ", BlockPart::Extended, false, "flags", 15, ColumnKind::Text, true,
     Info<&FileInfo::FileFlagsEx>},
    {nullptr, BlockPart::None, false, "size", 16, ColumnKind::Number, false,
     [](const FolderRecord& r) { return r.size ? std::to_wstring(*r.size) : std::wstring(); }},
    {nullptr, BlockPart::None, false, "last_write_utc", 17, ColumnKind::Time, false,
     [](const FolderRecord& r) {
         return r.lastWrite ? Ascii(IsoUtc(*r.lastWrite)) : std::wstring();
     }},
};

// Every column has its one place, and no place is left empty.
constexpr bool ColumnsFillTheirPlaces() {
    int count = 0;
    for (int place = 0; place < kColumnCount; ++place) {
        int holders = 0;
        for (const ReportField& field : kFields)
            holders += field.column && field.columnIndex == place;
        if (holders != 1)
            return false;
    }
    for (const ReportField& field : kFields)
        count += field.column != nullptr;
    return count == kColumnCount;
}
static_assert(ColumnsFillTheirPlaces());

struct Column {
    const ReportField* field = nullptr;
    std::string value; // UTF-8
};

// The record's columns in their order.
std::array<Column, kColumnCount> Columns(const FolderRecord& record) {
    std::array<Column, kColumnCount> columns;
    for (const ReportField& field : kFields) {
        if (!field.column)
            continue;
        std::wstring value = field.value(record);
        if (field.trailingBlanksInColumn)
            value.erase(value.find_last_not_of(L' ') + 1);
        columns[static_cast<std::size_t>(field.columnIndex)] = {&field, platform::Narrow(value)};
    }
    return columns;
}

bool LooksLikeFormula(const std::string& value) {
    return !value.empty() && std::string_view("=+-@\t\r").find(value[0]) != std::string_view::npos;
}

} // namespace

std::string CsvField(const std::string& value) {
    const bool formula = LooksLikeFormula(value);
    if (!formula && value.find_first_of(",\"\r\n") == std::string::npos)
        return value;
    std::string quoted = formula ? "\"'" : "\"";
    for (char c : value) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string JsonString(const std::string& utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + '"';
}

std::span<const ReportField> ReportFields() {
    return kFields;
}

std::string CsvHeader() {
    std::string row;
    for (const Column& column : Columns(FolderRecord{})) {
        if (!row.empty())
            row += ',';
        row += column.field->column;
    }
    row += "\r\n";
    return row;
}

std::string CsvRow(const FolderRecord& record) {
    std::string row;
    bool first = true;
    for (const Column& column : Columns(record)) {
        if (!std::exchange(first, false))
            row += ',';
        row += CsvField(column.value);
    }
    return row + "\r\n";
}

std::string JsonLine(const FolderRecord& record) {
    std::string line = "{";
    for (const Column& column : Columns(record)) {
        if (line.size() > 1)
            line += ',';
        line += '"';
        line += column.field->column;
        line += "\":";
        // What could not be read is null, not an empty text; a size is a number.
        const ColumnKind kind = column.field->kind;
        if (kind != ColumnKind::Text && column.value.empty())
            line += "null";
        else
            line += kind == ColumnKind::Number ? column.value : JsonString(column.value);
    }
    return line + "}\n";
}

std::wstring VisibleText(std::wstring_view value) {
    std::wstring out;
    out.reserve(value.size());
    for (wchar_t c : value) {
        switch (c) {
        case L'\r':
            out += L"\\r";
            break;
        case L'\n':
            out += L"\\n";
            break;
        case L'\t':
            out += L"\\t";
            break;
        default:
            // Editors also end a line at NEL and at the Unicode line and
            // paragraph separators.
            if (c < 0x20 || c == 0x7F || c == 0x85) {
                const wchar_t digits[] = L"0123456789abcdef";
                out += L"\\x";
                out += digits[(c >> 4) & 0xF];
                out += digits[c & 0xF];
            } else if (c == 0x2028 || c == 0x2029) {
                out += c == 0x2028 ? L"\\u2028" : L"\\u2029";
            } else {
                out += c;
            }
        }
    }
    return out;
}

std::wstring FormatReportBlock(const FolderRecord& record) {
    const std::wstring nl = L"\r\n";
    std::wstring block;
    BlockPart part = BlockPart::File;
    for (const ReportField& field : kFields) {
        if (!field.label)
            continue;
        if (field.part != part) {
            block += nl;
            if (field.part == BlockPart::Extended)
                block += L"Extended File Info " + nl + nl;
            part = field.part;
        }
        const std::wstring value = field.value(record);
        if (field.lineOnlyWhenSet && value.empty())
            continue;
        // Every value goes through VisibleText: a value is one line, whatever
        // a file's version resource holds, so no file can forge another's block.
        block += field.label;
        block += VisibleText(value);
        block += nl;
    }
    // Three empty lines part this block from the next.
    block += nl + nl + nl;
    return block;
}

} // namespace calvorn::app
