#pragma once
// Test helpers for HKEY_CLASSES_ROOT: file types that exist for the length of
// a test, raw reads that bypass the class under test, and a full dump of a
// registry tree so that two states can be compared key by key.

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

inline bool ClassesKeyThere(const std::wstring& key) {
    HKEY h = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(h);
    return true;
}

struct StoredValue {
    DWORD type = 0;
    std::vector<std::uint8_t> data;
    bool operator==(const StoredValue&) const = default;
};

inline std::optional<StoredValue> ClassesValue(const std::wstring& key,
                                               const std::wstring& name = {}) {
    HKEY h = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS)
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

inline StoredValue SzValue(const std::wstring& text) {
    StoredValue v{REG_SZ, std::vector<std::uint8_t>((text.size() + 1) * sizeof(wchar_t))};
    std::memcpy(v.data.data(), text.c_str(), v.data.size());
    return v;
}

inline bool SetClassesDefault(const std::wstring& key, const std::wstring* text) {
    HKEY h = nullptr;
    if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          &h, nullptr) != ERROR_SUCCESS)
        return false;
    bool ok = true;
    if (text)
        ok = ::RegSetValueExW(h, L"", 0, REG_SZ, reinterpret_cast<const BYTE*>(text->c_str()),
                              static_cast<DWORD>((text->size() + 1) * sizeof(wchar_t))) ==
             ERROR_SUCCESS;
    ::RegCloseKey(h);
    return ok;
}

// Makes sure a file type key exists with a ProgID (and the ProgID key), and
// removes again exactly the keys it had to create.
class ScopedFileType {
  public:
    ScopedFileType(std::wstring fileType, const std::wstring& progId) {
        if (!ClassesKeyThere(fileType)) {
            SetClassesDefault(fileType, &progId);
            created_.push_back(fileType);
        }
        if (auto v = ClassesValue(fileType); v && v->type == REG_SZ && v->data.size() >= 2) {
            progId_.assign(reinterpret_cast<const wchar_t*>(v->data.data()),
                           v->data.size() / sizeof(wchar_t));
            progId_.resize(std::wcslen(progId_.c_str()));
        }
        if (!progId_.empty() && !ClassesKeyThere(progId_)) {
            SetClassesDefault(progId_, nullptr);
            created_.push_back(progId_);
        }
    }
    ~ScopedFileType() {
        for (const std::wstring& key : created_)
            ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    }
    ScopedFileType(const ScopedFileType&) = delete;
    ScopedFileType& operator=(const ScopedFileType&) = delete;

    // The ProgID in effect: the one given, or the one the system already had.
    const std::wstring& ProgId() const { return progId_; }

  private:
    std::vector<std::wstring> created_;
    std::wstring progId_;
};

// Registry names compare without regard to letter case ("Folder" is stored
// as "folder" in some prefixes), so the dump keeps its paths in lower case.
inline std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}
using NameSet = std::set<std::wstring>; // lower case

// Every key below a root with every value: lower-case path to the key's
// values by lower-case name.
using RegistryDump = std::map<std::wstring, std::map<std::wstring, StoredValue>>;

inline void DumpInto(HKEY h, const std::wstring& path, RegistryDump& out) {
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
        if (::RegOpenKeyExW(h, sub.c_str(), 0, KEY_READ, &child) != ERROR_SUCCESS)
            continue;
        DumpInto(child, path.empty() ? Lower(sub) : path + L"\\" + Lower(sub), out);
        ::RegCloseKey(child);
    }
}

inline RegistryDump Dump(HKEY root) {
    RegistryDump out;
    DumpInto(root, L"", out);
    return out;
}

} // namespace calvorn::test
