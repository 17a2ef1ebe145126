#include "app/folder_records.h"

#include "platform/text.h"

#include <array>
#include <cstdio>
#include <cwchar>
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

constexpr int kColumnCount = 41;

// Text fields of the version information, by member.
template <std::wstring inspection::VersionFields::*member>
std::wstring Info(const FolderRecord& r) {
    return r.info.*member;
}

using FileInfo = inspection::VersionFields;
using inspection::FixedFileInfo;

// The inventory's cells of a file whose facts were read.
template <typename Value> std::wstring IfRead(const FolderRecord& r, Value value) {
    return r.inventory.read ? value(r.inventory) : std::wstring();
}

std::wstring Flag(bool value) {
    return value ? L"true" : L"false";
}

// A number of the fixed information as it stands: eight hex digits.
template <std::uint32_t FixedFileInfo::*member> std::wstring FixedHex(const FolderRecord& r) {
    if (!r.info.Fixed)
        return {};
    wchar_t text[12];
    std::swprintf(text, 12, L"%08X", static_cast<unsigned>((*r.info.Fixed).*member));
    return text;
}

template <std::string InventoryFacts::*member> std::wstring Digest(const FolderRecord& r) {
    return Ascii(r.inventory.*member);
}

template <std::wstring InventoryFacts::*member> std::wstring TypeLib(const FolderRecord& r) {
    return r.inventory.*member;
}

std::wstring LinkTime(const FolderRecord& r) {
    const auto& module = r.inventory.module;
    if (!r.inventory.read || !module.linkStamp ||
        !inspection::StampIsLinkTime(*module.linkStamp, module.reproducible, r.lastWrite))
        return {};
    return Ascii(IsoUtc(inspection::StampToFileTime(*module.linkStamp)));
}

std::wstring SelfRegistering(const FolderRecord& r) {
    return IfRead(r, [&r](const InventoryFacts& facts) {
        return Flag(facts.module.exportsRegister || r.info.OleSelfRegister);
    });
}

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
    {nullptr, BlockPart::None, false, "machine", 19, ColumnKind::Text, false,
     [](const FolderRecord& r) {
         return IfRead(r, [](const InventoryFacts& f) { return Ascii(f.module.machine); });
     }},
    {nullptr, BlockPart::None, false, "dotnet", 20, ColumnKind::Boolean, false,
     [](const FolderRecord& r) {
         return IfRead(r, [](const InventoryFacts& f) { return Flag(f.module.dotnet); });
     }},
    {nullptr, BlockPart::None, false, "file_version_string", 21, ColumnKind::Text, false,
     Info<&FileInfo::FileVersion>},
    {nullptr, BlockPart::None, false, "private_build", 22, ColumnKind::Text, false,
     Info<&FileInfo::PrivateBuild>},
    {nullptr, BlockPart::None, false, "special_build", 23, ColumnKind::Text, false,
     Info<&FileInfo::SpecialBuild>},
    {nullptr, BlockPart::None, false, "language", 24, ColumnKind::Text, false,
     [](const FolderRecord& r) { return Ascii(r.info.Language); }},
    {nullptr, BlockPart::None, false, "file_flags_hex", 25, ColumnKind::Text, false,
     FixedHex<&FixedFileInfo::dwFileFlags>},
    {nullptr, BlockPart::None, false, "file_os_hex", 26, ColumnKind::Text, false,
     FixedHex<&FixedFileInfo::dwFileOS>},
    {nullptr, BlockPart::None, false, "file_type_hex", 27, ColumnKind::Text, false,
     FixedHex<&FixedFileInfo::dwFileType>},
    {nullptr, BlockPart::None, false, "file_subtype_hex", 28, ColumnKind::Text, false,
     FixedHex<&FixedFileInfo::dwFileSubtype>},
    {nullptr, BlockPart::None, false, "link_time_utc", 29, ColumnKind::Time, false, LinkTime},
    {nullptr, BlockPart::None, false, "sha256", 30, ColumnKind::Text, false,
     Digest<&InventoryFacts::sha256>},
    {nullptr, BlockPart::None, false, "md5", 31, ColumnKind::Text, false,
     Digest<&InventoryFacts::md5>, ColumnChoice::Md5},
    {nullptr, BlockPart::None, false, "sha1", 32, ColumnKind::Text, false,
     Digest<&InventoryFacts::sha1>, ColumnChoice::Sha1},
    {nullptr, BlockPart::None, false, "self_registering", 33, ColumnKind::Boolean, false,
     SelfRegistering},
    {nullptr, BlockPart::None, false, "typelib_id", 34, ColumnKind::Text, false,
     TypeLib<&InventoryFacts::typeLibId>},
    {nullptr, BlockPart::None, false, "typelib_version", 35, ColumnKind::Text, false,
     TypeLib<&InventoryFacts::typeLibVersion>},
    {nullptr, BlockPart::None, false, "typelib_name", 36, ColumnKind::Text, false,
     TypeLib<&InventoryFacts::typeLibName>},
    {nullptr, BlockPart::None, false, "registration", 37, ColumnKind::Text, false,
     TypeLib<&InventoryFacts::registration>},
    {nullptr, BlockPart::None, false, "signature", 38, ColumnKind::Text, false,
     [](const FolderRecord& r) {
         return r.signature ? Ascii(inspection::SignatureWord(r.signature->state)) : std::wstring();
     },
     ColumnChoice::Signature},
    {nullptr, BlockPart::None, false, "signer", 39, ColumnKind::Text, false,
     [](const FolderRecord& r) { return r.signature ? r.signature->signer : std::wstring(); },
     ColumnChoice::Signature},
    {nullptr, BlockPart::None, false, "signed_utc", 40, ColumnKind::Time, false,
     [](const FolderRecord& r) {
         return r.signature && r.signature->signedTime ? Ascii(IsoUtc(*r.signature->signedTime))
                                                       : std::wstring();
     },
     ColumnChoice::Signature},
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

bool Chosen(const ReportField& field, const ReportColumns& chosen) {
    switch (field.choice) {
    case ColumnChoice::Md5:
        return chosen.md5;
    case ColumnChoice::Sha1:
        return chosen.sha1;
    case ColumnChoice::Signature:
        return chosen.signature;
    case ColumnChoice::Always:
        break;
    }
    return true;
}

// The record's columns in their order; a column the run did not choose has
// no field.
std::array<Column, kColumnCount> Columns(const FolderRecord& record, const ReportColumns& chosen) {
    std::array<Column, kColumnCount> columns;
    for (const ReportField& field : kFields) {
        if (!field.column || !Chosen(field, chosen))
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

std::span<const ReportField> ReportFields() {
    return kFields;
}

std::string CsvHeader(const ReportColumns& chosen) {
    std::string row;
    for (const Column& column : Columns(FolderRecord{}, chosen)) {
        if (!column.field)
            continue;
        if (!row.empty())
            row += ',';
        row += column.field->column;
    }
    row += "\r\n";
    return row;
}

std::string CsvRow(const FolderRecord& record, const ReportColumns& chosen) {
    std::string row;
    bool first = true;
    for (const Column& column : Columns(record, chosen)) {
        if (!column.field)
            continue;
        if (!std::exchange(first, false))
            row += ',';
        row += CsvField(column.value);
    }
    return row + "\r\n";
}

std::string JsonLine(const FolderRecord& record, const ReportColumns& chosen) {
    std::string line = "{";
    for (const Column& column : Columns(record, chosen)) {
        if (!column.field)
            continue;
        if (line.size() > 1)
            line += ',';
        line += '"';
        line += column.field->column;
        line += "\":";
        // What could not be read is null, not an empty text; a size is a
        // number, a yes or no a boolean.
        const ColumnKind kind = column.field->kind;
        if (kind != ColumnKind::Text && column.value.empty())
            line += "null";
        else if (kind == ColumnKind::Number || kind == ColumnKind::Boolean)
            line += column.value;
        else
            line += JsonString(column.value);
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
