#pragma once
// A private key under HKEY_CURRENT_USER per test, emptied before and after,
// and raw registry access that does not go through the class under test.

#include "registry/clsRegistry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace calvorn::test {

struct Raw {
    DWORD type = 0;
    std::vector<std::uint8_t> data;
};

inline std::vector<std::uint8_t> BytesOf(const std::wstring& text, bool terminated) {
    std::vector<std::uint8_t> data((text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
    if (!data.empty())
        std::memcpy(data.data(), text.c_str(), data.size());
    return data;
}

inline std::optional<Raw> ReadRaw(HKEY root, const std::wstring& key, const std::wstring& name) {
    HKEY h = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS)
        return std::nullopt;
    Raw raw;
    DWORD size = 0;
    LSTATUS rc = ::RegQueryValueExW(h, name.c_str(), nullptr, &raw.type, nullptr, &size);
    if (rc == ERROR_SUCCESS) {
        raw.data.resize(size + 1);
        rc = ::RegQueryValueExW(h, name.c_str(), nullptr, &raw.type, raw.data.data(), &size);
        raw.data.resize(size);
    }
    ::RegCloseKey(h);
    if (rc != ERROR_SUCCESS)
        return std::nullopt;
    return raw;
}

inline bool KeyThere(HKEY root, const std::wstring& key) {
    HKEY h = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(h);
    return true;
}

// The source every error record of the class carries in this process.
inline std::wstring ExpectedSource() {
    wchar_t path[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path, n);
    name.erase(0, name.find_last_of(L"\\/") + 1);
    name.resize(name.rfind(L'.'));
    return name + L".cRegistry";
}

class TestRoot : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = L"Software\\CalvornTests\\" +
                Wide(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        HKEY h = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &h, nullptr),
                  ERROR_SUCCESS);
        ::RegCloseKey(h);
        reg_.ClassKey(registry::kHKeyCurrentUser);
        reg_.SectionKey(path_);
    }
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str()); }

    static std::wstring Wide(const char* s) { return std::wstring(s, s + std::strlen(s)); }

    // Stores a value as given, bytes and type exactly, below the test root.
    void SetRaw(const std::wstring& sub, const std::wstring& name, DWORD type,
                const std::vector<std::uint8_t>& data) {
        HKEY h = nullptr;
        std::wstring key = sub.empty() ? path_ : path_ + L"\\" + sub;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &h, nullptr),
                  ERROR_SUCCESS);
        std::uint8_t none = 0;
        ASSERT_EQ(::RegSetValueExW(h, name.c_str(), 0, type, data.empty() ? &none : data.data(),
                                   static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
        ::RegCloseKey(h);
    }
    std::optional<Raw> GetRaw(const std::wstring& name) {
        return ReadRaw(HKEY_CURRENT_USER, path_, name);
    }

    std::wstring path_;
    registry::clsRegistry reg_;
};

} // namespace calvorn::test
