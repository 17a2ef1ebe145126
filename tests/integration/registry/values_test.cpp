// Reads and writes of every value type against the real registry.

#include "registry_fixture.h"

using namespace calvorn::test;
using calvorn::registry::RegValue;
using calvorn::registry::ValueAsText;
using Bytes = std::vector<std::uint8_t>;

namespace {

class Values : public TestRoot {
  protected:
    RegValue Read(const std::wstring& name) {
        reg_.ValueKey(name);
        return reg_.Value();
    }
    void Write(const std::wstring& name, std::int32_t type, const RegValue& value) {
        reg_.ValueKey(name);
        reg_.ValueType(type);
        reg_.Value(value);
    }
};

TEST_F(Values, TextTypesLoseOnlyAPresentTerminator) {
    SetRaw(L"", L"terminated", REG_SZ, TextBytes(L"abc"));
    SetRaw(L"", L"unterminated", REG_SZ, TextBytes(L"abc", false));
    SetRaw(L"", L"empty", REG_SZ, {});
    SetRaw(L"", L"multi", REG_MULTI_SZ, TextBytes(std::wstring(L"a\0bc\0", 5)));

    EXPECT_EQ(Read(L"terminated"), RegValue(std::wstring(L"abc")));
    EXPECT_EQ(reg_.ValueType(), REG_SZ);
    EXPECT_EQ(Read(L"unterminated"), RegValue(std::wstring(L"abc")));
    EXPECT_EQ(Read(L"empty"), RegValue(std::wstring()));
    EXPECT_EQ(Read(L"multi"), RegValue(std::wstring(L"a\0bc\0", 5)));
    EXPECT_EQ(reg_.ValueType(), REG_MULTI_SZ);
}

TEST_F(Values, ExpandableTextIsExpandedOnRead) {
    ::SetEnvironmentVariableW(L"CALVORN_TEST_VAR", L"expanded");
    SetRaw(L"", L"x", REG_EXPAND_SZ, TextBytes(L"<%CALVORN_TEST_VAR%>"));
    SetRaw(L"", L"unterminated", REG_EXPAND_SZ, TextBytes(L"%CALVORN_TEST_VAR%", false));
    EXPECT_EQ(Read(L"x"), RegValue(std::wstring(L"<expanded>")));
    EXPECT_EQ(reg_.ValueType(), REG_EXPAND_SZ);
    EXPECT_EQ(Read(L"unterminated"), RegValue(std::wstring(L"expanded")));
}

TEST_F(Values, TextWriteChoosesExpandableOnlyForAnEnclosedReference) {
    struct Case {
        std::wstring text;
        std::int32_t typeSet;
        DWORD stored;
    } cases[] = {
        {L"%PATH%\\x", REG_SZ, REG_EXPAND_SZ},
        {L"a%b%", REG_SZ, REG_EXPAND_SZ},
        {L"100%", REG_EXPAND_SZ, REG_SZ},
        {L"%%", REG_EXPAND_SZ, REG_SZ},
        {L"%% and %", REG_SZ, REG_EXPAND_SZ},
        {L"plain", REG_EXPAND_SZ, REG_SZ},
        {L"", REG_SZ, REG_SZ},
    };
    for (const Case& c : cases) {
        Write(L"v", c.typeSet, c.text);
        auto raw = GetRaw(L"v");
        ASSERT_TRUE(raw) << c.text;
        EXPECT_EQ(raw->type, c.stored) << c.text;
        EXPECT_EQ(raw->data, TextBytes(c.text)) << c.text; // stored unexpanded, terminated
        EXPECT_EQ(reg_.ValueType(), c.typeSet) << "a write never changes the type";
    }
    Write(L"n", REG_SZ, std::int32_t{-42});
    EXPECT_EQ(GetRaw(L"n")->data, TextBytes(L"-42"));
    EXPECT_FALSE(reg_.LastError().IsSet());
}

TEST_F(Values, BinaryKeepsExactlyTheStoredBytes) {
    SetRaw(L"", L"three", REG_BINARY, {0x01, 0x02, 0x03});
    SetRaw(L"", L"none", REG_NONE, {});
    SetRaw(L"", L"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(Read(L"three"), RegValue(Bytes{0x01, 0x02, 0x03}));
    EXPECT_EQ(reg_.ValueType(), REG_BINARY);
    EXPECT_EQ(Read(L"none"), RegValue(Bytes{}));
    EXPECT_EQ(Read(L"qword"), RegValue(Bytes{1, 2, 3, 4, 5, 6, 7, 8}));

    Write(L"written", REG_BINARY, Bytes{0xDE, 0xAD, 0xBE, 0xEF, 0x00});
    auto raw = GetRaw(L"written");
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(raw->data, (Bytes{0xDE, 0xAD, 0xBE, 0xEF, 0x00}));
    Write(L"one", REG_BINARY, Bytes{0x7F});
    EXPECT_EQ(GetRaw(L"one")->data, Bytes{0x7F});
}

TEST_F(Values, DwordsInBothByteOrders) {
    SetRaw(L"", L"le", REG_DWORD, {0x78, 0x56, 0x34, 0x12});
    SetRaw(L"", L"be", REG_DWORD_BIG_ENDIAN, {0x00, 0x00, 0x01, 0x00});
    EXPECT_EQ(Read(L"le"), RegValue(std::int32_t{0x12345678}));
    EXPECT_EQ(reg_.ValueType(), REG_DWORD);
    EXPECT_EQ(Read(L"be"), RegValue(std::int32_t{256}));
    EXPECT_EQ(reg_.ValueType(), REG_DWORD_BIG_ENDIAN);

    // Both integer types are stored as a little-endian REG_DWORD.
    Write(L"w", REG_DWORD, std::int32_t{-2});
    EXPECT_EQ(GetRaw(L"w")->type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(GetRaw(L"w")->data, (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));
    Write(L"w", REG_DWORD_BIG_ENDIAN, std::int32_t{256});
    EXPECT_EQ(GetRaw(L"w")->type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(GetRaw(L"w")->data, (Bytes{0x00, 0x01, 0x00, 0x00}));
}

TEST_F(Values, DwordOfAnyStoredLengthReadsItsFirstFourBytes) {
    // The value is read whole; only its first four bytes make the integer.
    SetRaw(L"", L"long", REG_DWORD, {0x01, 0x00, 0x00, 0x00, 0xAA, 0xBB, 0xCC, 0xDD});
    SetRaw(L"", L"longbe", REG_DWORD_BIG_ENDIAN, {0x00, 0x00, 0x01, 0x00, 0xAA, 0xBB});
    SetRaw(L"", L"short", REG_DWORD, {0x34, 0x12});
    EXPECT_EQ(Read(L"long"), RegValue(std::int32_t{1}));
    EXPECT_EQ(Read(L"longbe"), RegValue(std::int32_t{256}));
    EXPECT_EQ(Read(L"short"), RegValue(std::int32_t{0x1234}));
}

TEST_F(Values, MissingPlacesGiveDefaultAndLeaveTheTypeAlone) {
    reg_.ValueType(REG_BINARY);
    EXPECT_EQ(Read(L"absent"), RegValue{});
    EXPECT_EQ(ValueAsText(reg_.Value()), L"");
    reg_.Default(std::wstring(L"fallback"));
    EXPECT_EQ(Read(L"absent"), RegValue(std::wstring(L"fallback")));
    reg_.SectionKey(path_ + L"\\no\\such\\key");
    EXPECT_EQ(Read(L""), RegValue(std::wstring(L"fallback")));
    EXPECT_FALSE(reg_.KeyExists());
    EXPECT_EQ(reg_.ValueType(), REG_BINARY);
    EXPECT_FALSE(reg_.LastError().IsSet()) << "a failing read records nothing";

    reg_.SectionKey(path_);
    EXPECT_TRUE(reg_.KeyExists());
}

TEST_F(Values, CreateAndDeleteKeysAndValues) {
    reg_.SectionKey(path_ + L"\\a\\b\\c");
    EXPECT_TRUE(reg_.CreateKey());
    EXPECT_TRUE(KeyThere(HKEY_CURRENT_USER, path_ + L"\\a\\b\\c"));
    EXPECT_TRUE(reg_.CreateKey()) << "an existing key counts as created";

    reg_.ValueKey(L"v");
    reg_.ValueType(REG_SZ);
    reg_.Value(std::wstring(L"x"));
    ASSERT_TRUE(ReadRaw(HKEY_CURRENT_USER, path_ + L"\\a\\b\\c", L"v"));
    EXPECT_TRUE(reg_.DeleteValue());
    EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, path_ + L"\\a\\b\\c", L"v"));

    // Deepest first: a key that still has subkeys stays.
    reg_.SectionKey(path_ + L"\\a");
    EXPECT_FALSE(reg_.DeleteKey());
    for (const wchar_t* key : {L"\\a\\b\\c", L"\\a\\b", L"\\a"}) {
        reg_.SectionKey(path_ + key);
        EXPECT_TRUE(reg_.DeleteKey()) << key;
    }
    EXPECT_FALSE(KeyThere(HKEY_CURRENT_USER, path_ + L"\\a"));
}

} // namespace
