#include "block_builder.h"
#include "inspection/version_block.h"

#include <gtest/gtest.h>

using namespace calvorn::inspection;
using namespace calvorn::test;

namespace {

std::wstring Find(const Bytes& block, const wchar_t* key) {
    return FindVersionString(ByteSpan(block), key);
}

} // namespace

TEST(FindVersionString, WholeKeysOnlyAndTheFirstTableWins) {
    const Bytes block = VersionBlock({
        Table(u"040704B0",
              {String(u"Comments", u"see ProductName"), String(u"XCompanyName", u"prefixed"),
               String(u"InternalNameX", u"suffixed"), String(u"LegalCopyright", u"A")}),
        Table(u"040904B0", {String(u"ProductName", u"Real"), String(u"CompanyName", u"Company"),
                            String(u"InternalName", u"Inner"), String(u"LegalCopyright", u"B")}),
    });
    EXPECT_EQ(Find(block, L"ProductName"), L"Real");
    EXPECT_EQ(Find(block, L"CompanyName"), L"Company");
    EXPECT_EQ(Find(block, L"InternalName"), L"Inner");
    EXPECT_EQ(Find(block, L"LegalCopyright"), L"A");
    EXPECT_EQ(Find(block, L"Comments"), L"see ProductName");
    EXPECT_EQ(Find(block, L"LegalTrademarks"), L"");
    // The table each string came from, and a key present with no value.
    EXPECT_EQ(VersionStringTable(ByteSpan(block), "Comments"), "0407 04B0");
    EXPECT_EQ(VersionStringTable(ByteSpan(block), "companyname"), "0409 04B0");
    EXPECT_FALSE(VersionStringTable(ByteSpan(block), "LegalTrademarks"));
    const Bytes marked = VersionBlock({Table(u"0c0ae1b5", {String(u"OLESelfRegister", u"")})});
    EXPECT_EQ(VersionStringTable(ByteSpan(marked), "OLESelfRegister"), "0C0A E1B5");
    const Bytes odd = VersionBlock({Table(u"lang", {String(u"FileVersion", u"1")})});
    EXPECT_EQ(VersionStringTable(ByteSpan(odd), "FileVersion"), "lang");
}

TEST(FindVersionString, KeysMatchWithoutRegardToCase) {
    const Bytes block = VersionBlock({Table(
        u"040904B0", {String(u"OriginalFilename", u"a.dll"), String(u"COMMENTS", u"loud")})});
    EXPECT_EQ(Find(block, L"OriginalFileName"), L"a.dll");
    EXPECT_EQ(Find(block, L"Comments"), L"loud");
}

TEST(FindVersionString, AligningNulAndEmptyValues) {
    // Odd-length keys are followed by one aligning NUL before the value.
    const Bytes block = VersionBlock({Table(u"040904B0", {
                                                             String(u"CompanyName", u"Odd"),
                                                             String(u"Comments", u"Even"),
                                                             String(u"ProductName", u""),
                                                             String(u"InternalName", u""),
                                                         })});
    EXPECT_EQ(Find(block, L"CompanyName"), L"Odd");
    EXPECT_EQ(Find(block, L"Comments"), L"Even");
    EXPECT_EQ(Find(block, L"ProductName"), L"");
    EXPECT_EQ(Find(block, L"InternalName"), L"");
}

TEST(FindVersionString, ValueWithoutTextIsEmptyNotTheNextEntry) {
    // A value length of 0 with no NUL stored: the next entry follows at once.
    const Bytes block = VersionBlock(
        {Table(u"040904B0", {Entry(u"Comments", {}, 1, {}, 0), String(u"ProductName", u"Next")})});
    EXPECT_EQ(Find(block, L"Comments"), L"");
    EXPECT_EQ(Find(block, L"ProductName"), L"Next");
}

TEST(FindVersionString, OnlyOneAligningNulIsSkipped) {
    Bytes block(2, 0); // a character before the key
    PutText(block, u"Comments");
    PutText(block, u"");
    PutText(block, u"");
    PutText(block, u"late");
    EXPECT_EQ(Find(block, L"Comments"), L"");
}

TEST(FindVersionString, CutBlocksNeverReadPastTheEnd) {
    const Bytes full = VersionBlock({Table(u"040904B0", {String(u"ProductName", u"Product")})});
    for (std::size_t size = 0; size <= full.size(); ++size) {
        const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size));
        const std::wstring value = Find(cut, L"ProductName");
        // Whole or nothing: a value without its closing NUL is no value.
        EXPECT_TRUE(value.empty() || value == L"Product") << size;
    }
}

TEST(ReadFixedInfo, FromTheRootValue) {
    const Bytes block = VersionBlock({}, FixedInfo(0xFFFF8000, 0x7FFF0001, 0x21, 4, 3, 11));
    auto fixed = ReadFixedInfo(ByteSpan(block));
    ASSERT_TRUE(fixed);
    const FixedInfoWords words = DecodeFixedInfo(*fixed);
    EXPECT_EQ(words.StrucVerEx, L"1.0");
    EXPECT_EQ(words.FileVerEx, L"65535.32768.32767.1");
    EXPECT_EQ(words.FileFlagsEx, L"Debug Special ");
    EXPECT_EQ(words.FileOSEx, L"Unknown");
    EXPECT_EQ(words.FileTypeEx, L"Driver");
    EXPECT_EQ(words.FileSubTypeEx, L"");
}

TEST(ReadFixedInfo, NoneWhenTheValueIsShortOrCut) {
    const Bytes shortValue = Entry(u"VS_VERSION_INFO", Bytes(20, 0), 0);
    EXPECT_FALSE(ReadFixedInfo(ByteSpan(shortValue)));
    const Bytes full = VersionBlock({});
    for (std::size_t size = 0; size < 40 + 52; ++size)
        EXPECT_FALSE(ReadFixedInfo(ByteSpan(full).first(size))) << size;
    EXPECT_TRUE(ReadFixedInfo(ByteSpan(full).first(40 + 52)));
    // 52 bytes without the signature are not the fixed information.
    Bytes noSignature = VersionBlock({});
    Put32(noSignature, 40, 0xFEEF04BC);
    EXPECT_FALSE(ReadFixedInfo(ByteSpan(noSignature)));
}

TEST(ReadFixedInfo, ValueFollowsTheRootKeyWhateverItsLength) {
    // A shorter root key moves the value; the platform's query follows it.
    const Bytes block = Entry(u"VS_VER", FixedInfo(0x00020003, 0, 0, 0x40004, 1, 0), 0);
    auto fixed = ReadFixedInfo(ByteSpan(block));
    ASSERT_TRUE(fixed);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00020003u);
    EXPECT_EQ(FileTypeText(fixed->dwFileType), L"App");
}

// What the platform returns for a 16-bit file: single-byte keys and values,
// no type words. Both layouts are told apart by the byte after the lengths.
TEST(SixteenBitBlock, StringsAndFixedInfoOfTheOtherLayout) {
    const Bytes block = Entry16(
        "VS_VERSION_INFO", FixedInfo(0x0002000A, 0x0BEA0001, 0, 0x00010001, 2, 0),
        {Entry16("StringFileInfo", {},
                 {Entry16("040904E4", {},
                          {String16("CompanyName", "Wine"), String16("InternalName", ""),
                           String16("Comments", "\xe9t\xe9")}),
                  Entry16("04070000", {},
                          {String16("ProductName", "Zweite"), String16("companyname", "second")})}),
         Entry16("VarFileInfo", {})});
    EXPECT_TRUE(IsSixteenBitBlock(ByteSpan(block)));
    EXPECT_FALSE(IsSixteenBitBlock(ByteSpan(VersionBlock({}))));
    // A type word's low byte of 0x80 and above is below a blank to the
    // platform, which reads it as a signed character.
    for (std::uint8_t low : {0x80, 0xC3, 0xFF}) {
        Bytes typed = VersionBlock({}, FixedInfo(0x00010002, 0x00030004, 0, 0x40004, 2, 0));
        typed[4] = low;
        EXPECT_FALSE(IsSixteenBitBlock(ByteSpan(typed))) << int(low);
        ASSERT_TRUE(ReadFixedInfo(ByteSpan(typed))) << int(low);
        EXPECT_EQ(ReadFixedInfo(ByteSpan(typed))->dwFileVersionMS, 0x00010002u);
    }

    auto company = FindVersionString16(ByteSpan(block), "COMPANYNAME");
    ASSERT_TRUE(company);
    EXPECT_EQ(company->bytes, "Wine"); // the first table wins
    EXPECT_EQ(company->codePage, 1252);
    EXPECT_EQ(FindVersionString16(ByteSpan(block), "Comments")->bytes, "\xe9t\xe9");
    EXPECT_EQ(FindVersionString16(ByteSpan(block), "InternalName")->bytes, "");
    auto product = FindVersionString16(ByteSpan(block), "ProductName");
    ASSERT_TRUE(product);
    EXPECT_EQ(product->codePage, 0); // "0000" names no code page
    EXPECT_FALSE(FindVersionString16(ByteSpan(block), "LegalCopyright"));
    EXPECT_FALSE(FindVersionString16(ByteSpan(block), "Company")); // whole keys only
    EXPECT_EQ(VersionStringTable(ByteSpan(block), "ProductName"), "0407 0000");

    auto fixed = ReadFixedInfo(ByteSpan(block));
    ASSERT_TRUE(fixed);
    const FixedInfoWords words = DecodeFixedInfo(*fixed);
    EXPECT_EQ(words.FileVerEx, L"2.10.3050.1");
    EXPECT_EQ(words.StrucVerEx, L"1.0");
    EXPECT_EQ(words.FileOSEx, L"DOS-Win16");
    EXPECT_EQ(words.FileTypeEx, L"DLL");
    EXPECT_EQ(words.FileFlagsEx, L"");

    // Cut anywhere, nothing is read past the end.
    for (std::size_t size = 0; size < block.size(); ++size) {
        const ByteSpan cut = ByteSpan(block).first(size);
        if (auto found = FindVersionString16(cut, "ProductName")) {
            EXPECT_LE(found->bytes.size(), size);
        }
        if (size < 20 + 52) {
            EXPECT_FALSE(ReadFixedInfo(cut)) << size;
        }
    }
}

TEST(ClipToRoot, CutsAtTheRootLengthAndEmptiesAZeroRoot) {
    Bytes block = VersionBlock({});
    const std::size_t length = block.size();
    block.resize(length + 8, 0x58);
    EXPECT_EQ(ClipToRoot(ByteSpan(block)).size(), length);
    Put16(block, 0, 0);
    EXPECT_TRUE(ClipToRoot(ByteSpan(block)).empty());
}

TEST(DecodeWords, TableEdges) {
    EXPECT_EQ(FileFlagsText(0), L"");
    EXPECT_EQ(FileFlagsText(0x3F), L"Debug PreRel Patched Private Info Special ");
    EXPECT_EQ(FileFlagsText(0xC0), L"");
    EXPECT_EQ(FileOsText(0x00040004), L"NT-Win32");
    EXPECT_EQ(FileOsText(0x00000004), L"Unknown");
    EXPECT_EQ(FileTypeText(6), L"Unknown");
    EXPECT_EQ(FileTypeText(0), L"Unknown");
    EXPECT_EQ(FileSubTypeText(3, 0), L"Unknown");
    EXPECT_EQ(FileSubTypeText(3, 10), L"Comm driver");
    EXPECT_EQ(FileSubTypeText(3, 11), L"");
    EXPECT_EQ(FileSubTypeText(4, 0), L"");
    EXPECT_EQ(FileSubTypeText(4, 3), L"TrueType Font");
    EXPECT_EQ(FileSubTypeText(2, 3), L"");
}
