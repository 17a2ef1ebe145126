#pragma once
// A private key under HKEY_CURRENT_USER per test, emptied before and after.

#include "raw_registry.h"

#include "registry/registry_accessor.h"

#include <gtest/gtest.h>

namespace calvorn::test {

class TestRoot : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        path_ = L"Software\\CalvornTests\\" + std::wstring(test, test + std::strlen(test));
        ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        ASSERT_TRUE(WriteRaw(HKEY_CURRENT_USER, path_));
        reg_.ClassKey(registry::kHKeyCurrentUser);
        reg_.SectionKey(path_);
    }
    void TearDown() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\CalvornTests"); // only once empty
    }

    // Stores a value exactly as given (type and bytes) below the test root.
    void SetRaw(const std::wstring& sub, const std::wstring& name, DWORD type,
                const std::vector<std::uint8_t>& data) {
        ASSERT_TRUE(WriteRaw(HKEY_CURRENT_USER, sub.empty() ? path_ : path_ + L"\\" + sub, name,
                             StoredValue{type, data}));
    }
    std::optional<StoredValue> GetRaw(const std::wstring& name) {
        return ReadRaw(HKEY_CURRENT_USER, path_, name);
    }

    std::wstring path_;
    registry::RegistryAccessor reg_;
};

} // namespace calvorn::test
