#include "registration/export/export_xml.h"

#include "platform/text.h"

#include <cwctype>

namespace calvorn::registration::export_xml {

namespace {

wchar_t Fold(wchar_t c) {
    return static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
}

bool IsHighSurrogate(std::uint32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(std::uint32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

} // namespace

bool XmlCanHold(std::wstring_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<std::uint32_t>(text[i]);
        if (c < 0x20 && c != 0x9 && c != 0xA && c != 0xD)
            return false;
        if (c == 0xFFFE || c == 0xFFFF)
            return false;
        if (sizeof(wchar_t) == 2 && IsHighSurrogate(c)) {
            if (i + 1 >= text.size() || !IsLowSurrogate(static_cast<std::uint32_t>(text[i + 1])))
                return false;
            ++i;
        } else if (IsLowSurrogate(c) || c > 0x10FFFF) {
            return false;
        }
    }
    return true;
}

std::string Escaped(std::wstring_view text) {
    std::string out;
    for (const char c : platform::Narrow(text)) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        case '\t':
            out += "&#9;";
            break;
        case '\n':
            out += "&#10;";
            break;
        case '\r':
            out += "&#13;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

std::string CommentText(std::wstring_view text) {
    std::wstring safe;
    for (const wchar_t c : text) {
        const bool held = XmlCanHold(std::wstring_view(&c, 1)) || (c >= 0xD800 && c <= 0xDFFF);
        safe.push_back(held && c != L'\r' && c != L'\n' ? c : L'?');
        // "--" ends nothing but is not allowed inside a comment.
        if (safe.size() >= 2 && safe[safe.size() - 1] == L'-' && safe[safe.size() - 2] == L'-')
            safe.insert(safe.size() - 1, 1, L' ');
    }
    if (!safe.empty() && safe.back() == L'-')
        safe.push_back(L' ');
    if (!XmlCanHold(safe)) // a lone surrogate
        for (auto& c : safe)
            if (c >= 0xD800 && c <= 0xDFFF)
                c = L'?';
    return platform::Narrow(safe);
}

std::string Hex(const std::vector<std::uint8_t>& data) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const auto byte : data) {
        out.push_back(digits[byte >> 4]);
        out.push_back(digits[byte & 0xF]);
    }
    return out;
}

bool EqualNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i]))
            return false;
    return true;
}

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

std::optional<std::wstring> ClassesPath(const CapturedKey& key) {
    if (key.root == CapturedRoot::ClassesRoot)
        return key.path;
    constexpr std::wstring_view classes = L"Software\\Classes";
    if (key.root != CapturedRoot::LocalMachine && key.root != CapturedRoot::CurrentUser)
        return std::nullopt;
    if (EqualNoCase(key.path, classes))
        return std::wstring();
    if (StartsWithNoCase(key.path, classes) && key.path.size() > classes.size() &&
        key.path[classes.size()] == L'\\')
        return key.path.substr(classes.size() + 1);
    return std::nullopt;
}

const CapturedValue* FindValue(const CapturedKey& key, std::wstring_view name) {
    for (const auto& value : key.values)
        if (EqualNoCase(value.name, name))
            return &value;
    return nullptr;
}

std::string StableHash(std::wstring_view text) {
    std::uint64_t hash = 0xCBF29CE484222325ULL;
    for (const wchar_t c : text) {
        const auto unit = static_cast<std::uint32_t>(Fold(c));
        for (int shift = 0; shift < 32; shift += 8) {
            hash ^= (unit >> shift) & 0xFF;
            hash *= 0x100000001B3ULL;
        }
    }
    static constexpr char digits[] = "0123456789abcdef";
    std::string out(16, '0');
    for (int i = 15; i >= 0; --i, hash >>= 4)
        out[static_cast<std::size_t>(i)] = digits[hash & 0xF];
    return out;
}

std::wstring FileNameOf(std::wstring_view path) {
    const auto slash = path.find_last_of(L"\\/");
    return std::wstring(slash == std::wstring_view::npos ? path : path.substr(slash + 1));
}

std::wstring FolderOf(std::wstring_view path) {
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring_view::npos ? std::wstring() : std::wstring(path.substr(0, slash));
}

} // namespace calvorn::registration::export_xml
