// See export_text.h.

#include "registration/export/export_text.h"

namespace calvorn::registration::export_text {

std::optional<std::wstring> StoredString(const std::vector<std::uint8_t>& data) {
    if (data.size() % 2 != 0)
        return std::nullopt;
    std::wstring text;
    text.reserve(data.size() / 2);
    for (std::size_t i = 0; i < data.size(); i += 2)
        text += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    if (!text.empty() && text.back() == L'\0')
        text.pop_back();
    return text;
}

std::optional<std::wstring> PlainString(const std::vector<std::uint8_t>& data) {
    auto text = StoredString(data);
    if (text && text->find_first_of(std::wstring_view(L"\0\r\n", 3)) != std::wstring::npos)
        return std::nullopt;
    return text;
}

std::optional<std::vector<std::wstring>> MultiStrings(const std::vector<std::uint8_t>& data) {
    auto text = StoredString(data);
    if (!text)
        return std::nullopt;
    std::vector<std::wstring> strings;
    std::size_t start = 0;
    while (start < text->size()) {
        std::size_t end = text->find(L'\0', start);
        if (end == std::wstring::npos)
            end = text->size();
        if (end == start)
            break; // the empty string that ends the list
        strings.push_back(text->substr(start, end - start));
        start = end + 1;
    }
    return strings;
}

std::uint64_t LittleEndian(const std::vector<std::uint8_t>& data) {
    std::uint64_t number = 0;
    for (std::size_t i = 0; i < data.size() && i < 8; ++i)
        number |= static_cast<std::uint64_t>(data[i]) << (8 * i);
    return number;
}

std::wstring RootName(CapturedRoot root, bool perUser) {
    switch (root) {
    case CapturedRoot::ClassesRoot:
        return perUser ? L"HKEY_CURRENT_USER\\Software\\Classes" : L"HKEY_CLASSES_ROOT";
    case CapturedRoot::LocalMachine:
        return L"HKEY_LOCAL_MACHINE";
    case CapturedRoot::CurrentUser:
        return L"HKEY_CURRENT_USER";
    case CapturedRoot::Users:
        return L"HKEY_USERS";
    }
    return L"HKEY_CLASSES_ROOT";
}

std::wstring FullKeyPath(const CapturedKey& key, bool perUser) {
    std::wstring path = RootName(key.root, perUser);
    if (!key.path.empty())
        path += L"\\" + key.path;
    return path;
}

std::string TypeName(CapturedType type) {
    switch (type) {
    case CapturedType::None:
        return "REG_NONE";
    case CapturedType::String:
        return "REG_SZ";
    case CapturedType::ExpandString:
        return "REG_EXPAND_SZ";
    case CapturedType::Binary:
        return "REG_BINARY";
    case CapturedType::Dword:
        return "REG_DWORD";
    case CapturedType::DwordBigEndian:
        return "REG_DWORD_BIG_ENDIAN";
    case CapturedType::Link:
        return "REG_LINK";
    case CapturedType::MultiString:
        return "REG_MULTI_SZ";
    case CapturedType::Qword:
        return "REG_QWORD";
    }
    return "REG_" + std::to_string(static_cast<std::uint32_t>(type));
}

std::string Utf16LittleEndianWithMark(std::wstring_view text) {
    std::string bytes = "\xFF\xFE";
    bytes.reserve(2 + text.size() * 2);
    auto unit = [&bytes](std::uint32_t u) {
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>((u >> 8) & 0xFF);
    };
    for (wchar_t c : text) {
        auto code = static_cast<std::uint32_t>(c);
        if (code > 0xFFFF) { // wchar_t of 32 bits (native builds)
            code -= 0x10000;
            unit(0xD800 + (code >> 10));
            unit(0xDC00 + (code & 0x3FF));
        } else {
            unit(code);
        }
    }
    return bytes;
}

} // namespace calvorn::registration::export_text
