#pragma once
// Registry access for tests that goes around the class under test: raw
// values, key presence, the error source of this process, and a full dump of
// a registry tree so that two states can be compared key by key.

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <cwctype>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace calvorn::test {

struct StoredValue {
    DWORD type = 0;
    std::vector<std::uint8_t> data;
    bool operator==(const StoredValue&) const = default;
};

inline std::vector<std::uint8_t> TextBytes(const std::wstring& text, bool terminated = true) {
    std::vector<std::uint8_t> data((text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
    if (!data.empty())
        std::memcpy(data.data(), text.c_str(), data.size());
    return data;
}

inline StoredValue SzValue(const std::wstring& text) {
    return {REG_SZ, TextBytes(text)};
}

inline bool KeyThere(HKEY root, const std::wstring& key) {
    HKEY h = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(h);
    return true;
}

inline std::optional<StoredValue> ReadRaw(HKEY root, const std::wstring& key,
                                          const std::wstring& name = {}) {
    HKEY h = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS)
        return std::nullopt;
    StoredValue v;
    DWORD size = 0;
    LSTATUS rc = ::RegQueryValueExW(h, name.c_str(), nullptr, &v.type, nullptr, &size);
    if (rc == ERROR_SUCCESS) {
        v.data.resize(size + 1);
        rc = ::RegQueryValueExW(h, name.c_str(), nullptr, &v.type, v.data.data(), &size);
        v.data.resize(size);
    }
    ::RegCloseKey(h);
    if (rc != ERROR_SUCCESS)
        return std::nullopt;
    return v;
}

// Creates the key (and any above it) and, when given, stores a value in it.
inline bool WriteRaw(HKEY root, const std::wstring& key, const std::wstring& name = {},
                     const std::optional<StoredValue>& value = std::nullopt) {
    HKEY h = nullptr;
    if (::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bool ok = true;
    if (value) {
        std::uint8_t none = 0;
        ok = ::RegSetValueExW(h, name.c_str(), 0, value->type,
                              value->data.empty() ? &none : value->data.data(),
                              static_cast<DWORD>(value->data.size())) == ERROR_SUCCESS;
    }
    ::RegCloseKey(h);
    return ok;
}

// The source every error record of the accessor carries in this process.
inline std::wstring ExpectedSource() {
    wchar_t path[MAX_PATH];
    std::wstring name(path, ::GetModuleFileNameW(nullptr, path, MAX_PATH));
    name.erase(0, name.find_last_of(L"\\/") + 1);
    return name.substr(0, name.rfind(L'.')) + L".cRegistry";
}

// Registry names compare without regard to letter case ("Folder" is stored
// as "folder" in some prefixes), so the dump keeps its paths in lower case.
inline std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

// Every key below a root with every value: lower-case path to the key's
// values by lower-case name.
using RegistryDump = std::map<std::wstring, std::map<std::wstring, StoredValue>>;

// `view` (KEY_WOW64_64KEY or KEY_WOW64_32KEY) picks a registry view for the
// whole walk; 0 is the process's own.
inline void DumpInto(HKEY h, const std::wstring& path, RegistryDump& out, REGSAM view = 0) {
    auto& values = out[path];
    std::vector<wchar_t> name(32768);
    for (DWORD i = 0;; ++i) {
        DWORD n = static_cast<DWORD>(name.size()), type = 0, size = 0;
        if (::RegEnumValueW(h, i, name.data(), &n, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        StoredValue v{type, std::vector<std::uint8_t>(size + 1)};
        n = static_cast<DWORD>(name.size());
        ::RegEnumValueW(h, i, name.data(), &n, nullptr, &type, v.data.data(), &size);
        v.data.resize(size);
        values[Lower(std::wstring(name.data(), n))] = std::move(v);
    }
    for (DWORD i = 0;; ++i) {
        DWORD n = static_cast<DWORD>(name.size());
        if (::RegEnumKeyExW(h, i, name.data(), &n, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        std::wstring sub(name.data(), n);
        HKEY child = nullptr;
        if (::RegOpenKeyExW(h, sub.c_str(), 0, KEY_READ | view, &child) != ERROR_SUCCESS)
            continue;
        DumpInto(child, path.empty() ? Lower(sub) : path + L"\\" + Lower(sub), out, view);
        ::RegCloseKey(child);
    }
}

inline RegistryDump Dump(HKEY root) {
    RegistryDump out;
    DumpInto(root, L"", out);
    return out;
}

// The tree below `key`, paths relative to the root (so they start with it).
inline RegistryDump Dump(HKEY root, const std::wstring& key, REGSAM view) {
    RegistryDump out;
    HKEY h = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, &h) != ERROR_SUCCESS)
        return out;
    DumpInto(h, Lower(key), out, view);
    ::RegCloseKey(h);
    return out;
}

} // namespace calvorn::test
