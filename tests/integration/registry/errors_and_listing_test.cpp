// The error records, the listings and their order, against the real registry.

#include "registry_fixture.h"

#include "platform/error_record.h"

using namespace calvorn::test;
using calvorn::registry::RegistryAccessor;
using calvorn::registry::RegValue;

namespace {

class Errors : public TestRoot {
  protected:
    void ExpectError(std::int32_t number, const std::wstring& description) {
        EXPECT_EQ(reg_.LastError().number, number);
        EXPECT_EQ(reg_.LastError().source, ExpectedSource());
        EXPECT_EQ(reg_.LastError().description, description);
        reg_.ClearError();
    }
};

TEST_F(Errors, WriteFailuresAreRecordedAndLeaveNoKey) {
    const std::wstring place = L"-2147483647',Section: '" + path_ + L"\\w',Key: 'v' to value: '";
    reg_.SectionKey(path_ + L"\\w");
    reg_.ValueKey(L"v");

    reg_.Value(std::wstring(L"text")); // ValueType still 0: nothing read, nothing to write
    ExpectError(static_cast<std::int32_t>(0x800469A9),
                L"Failed to set registry value Key: '" + place + L"text'");
    reg_.ValueType(REG_MULTI_SZ);
    reg_.Value(std::int32_t{7});
    ExpectError(static_cast<std::int32_t>(0x800469A9),
                L"Failed to set registry value Key: '" + place + L"7'");
    reg_.ValueType(REG_DWORD);
    reg_.Value(std::wstring(L"12"));
    ExpectError(26001, L"Failed to set registry value Key: '" + place + L"12'");
    EXPECT_FALSE(KeyThere(HKEY_CURRENT_USER, path_ + L"\\w"));

    reg_.ValueType(REG_BINARY);
    reg_.Value(std::wstring(L"not bytes"));
    EXPECT_EQ(reg_.LastError().number, 26001);
    EXPECT_EQ(reg_.LastError().source, L"");
    EXPECT_EQ(reg_.LastError().description, L"");
    EXPECT_FALSE(KeyThere(HKEY_CURRENT_USER, path_ + L"\\w"));
}

TEST_F(Errors, KeyFailuresNameTheRootInSignedDecimal) {
    reg_.ClassKey(calvorn::registry::kHKeyClassesRoot);
    reg_.SectionKey(L"CalvornTests-missing\\x");
    EXPECT_FALSE(reg_.DeleteKey());
    ExpectError(26001,
                L"Failed to delete registry Key: '-2147483648',Section: 'CalvornTests-missing\\x");
    reg_.ValueKey(L"v");
    EXPECT_FALSE(reg_.DeleteValue());
    ExpectError(26001, L"Failed to open key '-2147483648',Section: 'CalvornTests-missing\\x' for "
                       L"delete access");

    reg_.ClassKey(calvorn::registry::kHKeyCurrentUser);
    reg_.SectionKey(path_);
    reg_.ValueKey(L"absent");
    EXPECT_FALSE(reg_.DeleteValue());
    ExpectError(26001, L"Failed to delete registry Key: '-2147483647',Section: '" + path_ +
                           L"',Key: 'absent");

    SetRaw(L"sub", L"", REG_SZ, TextBytes(L"x"));
    EXPECT_FALSE(reg_.DeleteKey()) << "a key with subkeys stays";
    ExpectError(26001, L"Failed to delete registry Key: '-2147483647',Section: '" + path_);
    EXPECT_TRUE(KeyThere(HKEY_CURRENT_USER, path_ + L"\\sub"));

    // No root at all: nothing can be created or written.
    reg_.ClassKey(0);
    reg_.SectionKey(L"Software\\CalvornTests\\never");
    EXPECT_FALSE(reg_.CreateKey());
    ExpectError(26001, L"Failed to create registry Key: 'Software\\CalvornTests\\never");
    reg_.ValueKey(L"v");
    reg_.ValueType(REG_SZ);
    reg_.Value(std::wstring(L"x"));
    ExpectError(26001, L"Failed to set registry value Key: '0',Section: "
                       L"'Software\\CalvornTests\\never',Key: 'v' to value: 'x'");
    reg_.SectionKey(L"");
    EXPECT_FALSE(reg_.DeleteKey()) << "an empty path never names the root itself";
}

class Listing : public TestRoot {};

TEST_F(Listing, MissingKeysGiveEmptyLists) {
    std::vector<std::wstring> names{L"stale"};
    std::int32_t count = 5;
    reg_.SectionKey(path_ + L"\\missing");
    EXPECT_TRUE(reg_.EnumerateValues(names, count));
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(names.empty());
    names = {L"stale"};
    count = 5;
    EXPECT_TRUE(reg_.EnumerateSections(names, count));
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(names.empty());
    EXPECT_FALSE(reg_.LastError().IsSet());
}

TEST_F(Listing, SubkeysInTheRegistrysOrderWhateverTheirLength) {
    // The longest name the registry allows sits between shorter ones and
    // must neither end the listing nor lose characters.
    const std::wstring longest(255, L'm');
    for (const std::wstring& name :
         {std::wstring(L"zeta"), longest, std::wstring(L"Alpha"), std::wstring(L"beta")})
        SetRaw(name, L"", REG_SZ, TextBytes(L"x"));
    SetRaw(L"beta\\deeper", L"", REG_SZ, TextBytes(L"x"));

    std::vector<std::wstring> names;
    std::int32_t count = 0;
    EXPECT_TRUE(reg_.EnumerateSections(names, count));
    EXPECT_EQ(count, 4);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Alpha", L"beta", longest, L"zeta"}));
}

TEST_F(Listing, ValueNamesInTheRegistrysOrder) {
    const std::wstring longName(300, L'n');
    for (const std::wstring& name :
         {std::wstring(L"second"), std::wstring(L""), longName, std::wstring(L"First")})
        SetRaw(L"", name, REG_SZ, TextBytes(L"x"));

    // The order is the registry's own; read it independently.
    std::vector<std::wstring> expected;
    HKEY h = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_QUERY_VALUE, &h),
              ERROR_SUCCESS);
    for (DWORD i = 0;; ++i) {
        wchar_t buffer[400];
        DWORD n = 400;
        if (::RegEnumValueW(h, i, buffer, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        expected.emplace_back(buffer, n);
    }
    ::RegCloseKey(h);

    std::vector<std::wstring> names;
    std::int32_t count = 0;
    EXPECT_TRUE(reg_.EnumerateValues(names, count));
    EXPECT_EQ(count, 4);
    EXPECT_EQ(names, expected);
    EXPECT_NE(std::find(names.begin(), names.end(), longName), names.end());
}

} // namespace
