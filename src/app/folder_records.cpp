#include "app/folder_records.h"

#include <array>
#include <cstdio>
#include <string_view>
#include <utility>

namespace calvorn::app {

std::string Utf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = static_cast<std::uint16_t>(text[i]);
        if constexpr (sizeof(wchar_t) == 4)
            c = static_cast<std::uint32_t>(text[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() &&
            static_cast<std::uint32_t>(text[i + 1]) >= 0xDC00 &&
            static_cast<std::uint32_t>(text[i + 1]) <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint32_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

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

// The columns, in the text report's order; the fixed versions are told apart
// from the string-table ones by their names.
constexpr std::array<const char*, 19> kColumns = {"path",
                                                  "company_name",
                                                  "file_description",
                                                  "internal_name",
                                                  "legal_copyright",
                                                  "legal_trademarks",
                                                  "original_filename",
                                                  "product_name",
                                                  "product_version",
                                                  "comments",
                                                  "fixed_file_version",
                                                  "fixed_product_version",
                                                  "type",
                                                  "subtype",
                                                  "os",
                                                  "flags",
                                                  "size",
                                                  "last_write_utc",
                                                  "error"};

// The flags field carries a blank after its last word; a column does not.
std::wstring_view Trimmed(const std::wstring& text) {
    std::wstring_view view(text);
    while (!view.empty() && view.back() == L' ')
        view.remove_suffix(1);
    return view;
}

std::array<std::string, 19> Fields(const FolderRecord& r) {
    const inspection::clsFileInfo& f = r.info;
    return {Utf8(r.path),
            Utf8(f.CompanyName),
            Utf8(f.FileDescription),
            Utf8(f.InternalName),
            Utf8(f.LegalCopyright),
            Utf8(f.LegalTrademarks),
            Utf8(f.OriginalFileName),
            Utf8(f.ProductName),
            Utf8(f.ProductVersion),
            Utf8(f.Comments),
            Utf8(f.FileVerEx),
            Utf8(f.ProdVerEx),
            Utf8(f.FileTypeEx),
            Utf8(f.FileSubTypeEx),
            Utf8(f.FileOSEx),
            Utf8(Trimmed(f.FileFlagsEx)),
            r.size ? std::to_string(*r.size) : std::string(),
            r.lastWrite ? IsoUtc(*r.lastWrite) : std::string(),
            Utf8(r.error)};
}

bool LooksLikeFormula(const std::string& value) {
    return !value.empty() && std::string_view("=+-@\t\r").find(value[0]) != std::string_view::npos;
}

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

} // namespace

std::string CsvHeader() {
    std::string row;
    for (const char* column : kColumns) {
        if (!row.empty())
            row += ',';
        row += column;
    }
    row += "\r\n";
    return row;
}

std::string CsvRow(const FolderRecord& record) {
    std::string row;
    bool first = true;
    for (const std::string& field : Fields(record)) {
        if (!std::exchange(first, false))
            row += ',';
        row += CsvField(field);
    }
    return row + "\r\n";
}

std::string JsonLine(const FolderRecord& record) {
    const auto fields = Fields(record);
    std::string line = "{";
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i)
            line += ',';
        line += '"';
        line += kColumns[i];
        line += "\":";
        // The size is a number; everything else is text. What could not be
        // read is null, not an empty text.
        const std::string_view column = kColumns[i];
        if ((column == "size" || column == "last_write_utc") && fields[i].empty())
            line += "null";
        else
            line += column == "size" ? fields[i] : JsonString(fields[i]);
    }
    return line + "}\n";
}

} // namespace calvorn::app
