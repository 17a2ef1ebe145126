#pragma once
// The folder report's records as the quiet tests read them back: the text
// blocks, CSV and JSON Lines each parsed into the same field maps.

#include "batch_runner.h"

#include <map>
#include <string>
#include <vector>

namespace calvorn::test {

using Record = std::map<std::string, std::string>;

// The text report's labels, in block order, and the column each one fills.
inline const std::pair<const char*, const char*> kLabels[] = {
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

inline std::vector<Record> ParseText(std::string text) {
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.erase(0, 3); // the mark of a text report beyond ASCII
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
inline std::vector<Record> ParseCsv(const std::string& text) {
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
inline std::vector<Record> ParseJsonLines(const std::string& text) {
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

inline std::wstring FixtureFolder() {
    const std::wstring folder = MakeScratchDir(L"quiet-report");
    for (const wchar_t* name : {L"strings.dll", L"unicode.dll", L"none.dll", L"flags_all.dll"})
        CopyInto(FixturePath(std::wstring(L"versions\\") + name), folder, name);
    WriteText(folder + L"notes.txt", "not a component");
    ::CreateDirectoryW((folder + L"sub").c_str(), nullptr);
    CopyInto(FixturePath(L"versions\\empty.dll"), folder + L"sub\\", L"deeper.OCX");
    return folder;
}

inline std::string NameOf(const std::string& path) {
    return path.substr(path.rfind('\\') + 1);
}

} // namespace calvorn::test
