#include "inspection/version_fields.h"
#include "support/platform_versions.h"
#include "support/test_paths.h"
#include "unit/versions/pe_builder.h"

#include <windows.h>

#include <gtest/gtest.h>

using calvorn::inspection::VersionFields;

namespace {

std::wstring Fixture(const std::wstring& name) {
    return calvorn::test::FixturePath(L"versions\\" + name + L".dll");
}

VersionFields Select(const std::wstring& name) {
    VersionFields info;
    info.SelectFile(Fixture(name));
    return info;
}

const std::wstring VersionFields::*const kFields[] = {
    &VersionFields::CompanyName,    &VersionFields::FileDescription, &VersionFields::InternalName,
    &VersionFields::LegalCopyright, &VersionFields::LegalTrademarks, &VersionFields::OriginalFileName,
    &VersionFields::ProductName,    &VersionFields::ProductVersion,  &VersionFields::Comments,
    &VersionFields::StrucVerEx,     &VersionFields::FileVerEx,       &VersionFields::ProdVerEx,
    &VersionFields::FileFlagsEx,    &VersionFields::FileOSEx,        &VersionFields::FileTypeEx,
    &VersionFields::FileSubTypeEx};

void ExpectAllEmpty(const VersionFields& info) {
    for (const std::wstring* field :
         {&info.CompanyName, &info.FileDescription, &info.InternalName, &info.LegalCopyright,
          &info.LegalTrademarks, &info.OriginalFileName, &info.ProductName, &info.ProductVersion,
          &info.Comments, &info.StrucVerEx, &info.FileVerEx, &info.ProdVerEx, &info.FileFlagsEx,
          &info.FileOSEx, &info.FileTypeEx, &info.FileSubTypeEx})
        EXPECT_EQ(*field, L"");
}

} // namespace

TEST(SelectFile, FirstTableWinsAndWholeKeysOnly) {
    const VersionFields info = Select(L"strings");
    EXPECT_EQ(info.CompanyName, L"Erste GmbH");
    EXPECT_EQ(info.FileDescription, L"Beschreibung");
    EXPECT_EQ(info.InternalName, L"intern");
    EXPECT_EQ(info.LegalCopyright, L"(c) Erste");
    EXPECT_EQ(info.LegalTrademarks, L"");
    EXPECT_EQ(info.OriginalFileName, L"strings.dll");
    // "see ProductName" comes first in the block but is a value, not the key.
    EXPECT_EQ(info.ProductName, L"Two Tables");
    EXPECT_EQ(info.ProductVersion, L"7.0 beta");
    EXPECT_EQ(info.Comments, L"see ProductName");
    EXPECT_EQ(info.StrucVerEx, L"1.0");
    EXPECT_EQ(info.FileVerEx, L"1.2.40000.65535");
    EXPECT_EQ(info.ProdVerEx, L"3.4.32768.5");
    EXPECT_EQ(info.FileFlagsEx, L"");
    EXPECT_EQ(info.FileOSEx, L"NT-Win32");
    EXPECT_EQ(info.FileTypeEx, L"DLL");
    EXPECT_EQ(info.FileSubTypeEx, L"");
}

TEST(SelectFile, EmptyValuesOfOddAndEvenKeys) {
    const VersionFields info = Select(L"empty");
    EXPECT_EQ(info.CompanyName, L"");
    EXPECT_EQ(info.Comments, L"");
    EXPECT_EQ(info.InternalName, L"");
    EXPECT_EQ(info.ProductName, L"After Empty");
}

TEST(SelectFile, EveryOsValue) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"os_dos_win16", L"DOS-Win16"}, {L"os_dos_win32", L"DOS-Win32"},
        {L"os_pm16", L"OS/2-16 PM-16"},  {L"os_pm32", L"OS/2-16 PM-32"},
        {L"os_nt_win32", L"NT-Win32"},   {L"os_win32_only", L"Unknown"},
    };
    for (const auto& [name, word] : cases)
        EXPECT_EQ(Select(name).FileOSEx, word) << name;
}

TEST(SelectFile, FlagWordsInTableOrder) {
    EXPECT_EQ(Select(L"flags_all").FileFlagsEx, L"Debug PreRel Patched Private Info Special ");
    EXPECT_EQ(Select(L"flags_debug_special").FileFlagsEx, L"Debug Special ");
    EXPECT_EQ(Select(L"flags_unlisted").FileFlagsEx, L"");
    EXPECT_EQ(Select(L"os_nt_win32").FileFlagsEx, L"");
}

TEST(SelectFile, TypesAndSubtypes) {
    struct Case {
        const wchar_t* name;
        const wchar_t* type;
        const wchar_t* subtype;
    };
    const Case cases[] = {
        {L"type_app", L"App", L""},
        {L"type_unknown", L"Unknown", L""},
        {L"type_vxd", L"VxD", L""},
        {L"type_6", L"Unknown", L""},
        {L"type_lib", L"Lib", L""},
        {L"type_8", L"Unknown", L""},
        {L"dll_subtype_3", L"DLL", L""},
        {L"driver_unknown", L"Driver", L"Unknown"},
        {L"driver_printer", L"Driver", L"Printer driver"},
        {L"driver_comm", L"Driver", L"Comm driver"},
        {L"driver_11", L"Driver", L""},
        {L"font_raster", L"Font", L"Raster Font"},
        {L"font_vector", L"Font", L"Vector Font"},
        {L"font_truetype", L"Font", L"TrueType Font"},
        {L"font_0", L"Font", L""},
    };
    for (const auto& c : cases) {
        const VersionFields info = Select(c.name);
        EXPECT_EQ(info.FileTypeEx, c.type) << c.name;
        EXPECT_EQ(info.FileSubTypeEx, c.subtype) << c.name;
        EXPECT_EQ(info.FileDescription, c.name);
    }
}

TEST(SelectFile, VersionPartsAboveSignedRange) {
    const VersionFields info = Select(L"big_numbers");
    EXPECT_EQ(info.FileVerEx, L"65535.32768.40000.1");
    EXPECT_EQ(info.ProdVerEx, L"0.65534.32767.0");
}

TEST(SelectFile, ReusedObjectKeepsNothingFromBefore) {
    VersionFields info;
    info.SelectFile(Fixture(L"driver_printer"));
    info.SelectFile(Fixture(L"driver_comm"));
    EXPECT_EQ(info.FileSubTypeEx, L"Comm driver");
    info.SelectFile(Fixture(L"os_nt_win32"));
    EXPECT_EQ(info.FileTypeEx, L"DLL");
    EXPECT_EQ(info.FileSubTypeEx, L"");

    info.SelectFile(Fixture(L"strings"));
    info.SelectFile(Fixture(L"none"));
    ExpectAllEmpty(info);
    info.SelectFile(Fixture(L"strings"));
    info.SelectFile(Fixture(L"does_not_exist"));
    ExpectAllEmpty(info);
}

TEST(SelectFile, PathsLongerThanMaxPath) {
    std::wstring folder = calvorn::test::MakeScratchDir(L"versions_long");
    folder.pop_back(); // its final backslash
    while (folder.size() < 300) {
        folder += L"\\a_rather_long_folder_name_to_pass_max_path";
        ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr));
    }
    const std::wstring path = folder + L"\\strings.dll";
    ASSERT_TRUE(::CopyFileW((L"\\\\?\\" + Fixture(L"strings")).c_str(), (L"\\\\?\\" + path).c_str(),
                            FALSE));
    VersionFields info;
    info.SelectFile(path);
    EXPECT_EQ(info.ProductName, L"Two Tables");
    EXPECT_EQ(info.FileVerEx, L"1.2.40000.65535");
}

// The platform hands back a 16-bit file's block in the 16-bit layout; every
// field must still be the one the platform's own calls give.
TEST(SelectFile, SixteenBitFilesGiveThePlatformsFields) {
    VersionFields info;
    for (const std::wstring& path : calvorn::test::SixteenBitSystemFiles()) {
        const std::string name(path.begin(), path.end());
        const VersionFields platform = calvorn::test::PlatformVersionFields(path);
        ASSERT_FALSE(platform.FileVerEx.empty()) << name;
        info.SelectFile(path);
        for (std::size_t i = 0; i < std::size(kFields); ++i)
            EXPECT_EQ(info.*kFields[i], platform.*kFields[i]) << name << " field " << i;
        EXPECT_EQ(info.ReadError, 0u);
    }
    info.SelectFile(calvorn::test::SixteenBitSystemFiles()[0]); // ole2nls.dll
    EXPECT_EQ(info.FileTypeEx, L"DLL");
    EXPECT_EQ(info.FileVerEx, L"2.10.3050.1");
    EXPECT_EQ(info.ProdVerEx, L"1.0.0.0");
    EXPECT_EQ(info.StrucVerEx, L"1.0");
    EXPECT_EQ(info.FileFlagsEx, L"");
    EXPECT_EQ(info.OriginalFileName, L"OLE2NLS.DLL");
}

TEST(SelectFile, AFileThatCannotBeReadSaysWhy) {
    const std::wstring dir = calvorn::test::MakeScratchDir(L"locked");
    const std::wstring path = dir + L"held.dll";
    ASSERT_TRUE(::CopyFileW(Fixture(L"strings").c_str(), path.c_str(), FALSE));
    HANDLE held = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    VersionFields info;
    info.SelectFile(path);
    EXPECT_EQ(info.ReadError, static_cast<std::uint32_t>(ERROR_SHARING_VIOLATION));
    ExpectAllEmpty(info);
    ::CloseHandle(held);
    info.SelectFile(path);
    EXPECT_EQ(info.ReadError, 0u);
    EXPECT_EQ(info.ProductName, L"Two Tables");
    info.SelectFile(dir + L"gone.dll");
    EXPECT_EQ(info.ReadError, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
}

// Blocks a component can ship to mislead a text search of its block: each is
// read as the platform's own calls read it (the table they name, the root's
// value), field by field, and the fields it aims at hold what they should.
TEST(SelectFile, TheFiveHostileVersionBlocksReadAsThePlatformsOwnCallsReadThem) {
    using namespace calvorn::test;
    const auto table = [](std::vector<Bytes> strings) {
        return std::vector<Bytes>{Table(u"040904E4", std::move(strings))};
    };
    Bytes fakeCompany; // a value holding a key, its NUL and a value of its own
    PutText(fakeCompany, u"notes\x01"
                         u"CompanyName");
    PutText(fakeCompany, u"");
    PutText(fakeCompany, u"Microsoft Corporation");
    Bytes typeByte = VersionBlock(table({String(u"CompanyName", u"Typed")}));
    Put16(typeByte, 4, 0x0080); // the root's type word: its low byte is not a letter
    Bytes noSignature = FixedInfo(0x00010002, 0x00030004, 0, 0x40004, 2, 0);
    Put32(noSignature, 0, 0);

    struct Case {
        const wchar_t* name;
        Bytes block;
        std::vector<std::pair<std::wstring VersionFields::*, std::wstring>> expected;
    };
    const Case cases[] = {
        {L"key_in_value",
         VersionBlock(
             table({Entry(u"Comments", fakeCompany, 1), String(u"CompanyName", u"Evil Corp")})),
         {{&VersionFields::CompanyName, L"Evil Corp"},
          {&VersionFields::Comments, L"notes\x01"
                                   L"CompanyName"}}},
        {L"key_after_newline",
         VersionBlock(table({String(u"Comments", u"Build notes:\nProductName"),
                             String(u"ProductName", u"Calvorn Tools")})),
         {{&VersionFields::ProductName, L"Calvorn Tools"},
          {&VersionFields::Comments, L"Build notes:\nProductName"}}},
        {L"type_byte_80",
         typeByte,
         {{&VersionFields::FileVerEx, L"1.2.3.4"}, {&VersionFields::StrucVerEx, L"1.0"}}},
        {L"no_signature",
         VersionBlock(table({String(u"CompanyName", u"Unsigned")}), noSignature),
         {{&VersionFields::CompanyName, L"Unsigned"},
          {&VersionFields::FileVerEx, L""},
          {&VersionFields::FileTypeEx, L""}}},
        {L"control_characters",
         VersionBlock(table({String(u"Comments", u"\x02ProductName"),
                             String(u"FileDescription", u"tab\there\r\nnext\x1f\x7f"),
                             String(u"ProductName", u"Real")})),
         {{&VersionFields::Comments, L"\x02ProductName"},
          {&VersionFields::FileDescription, L"tab\there\r\nnext\x1f\x7f"},
          {&VersionFields::ProductName, L"Real"}}},
    };
    const std::wstring dir = MakeScratchDir(L"hostile_versions");
    for (const Case& c : cases) {
        const std::wstring path = dir + c.name + L".dll";
        const Bytes file = BuildPe({0x0409}, 16, 1, c.block).bytes;
        WriteText(path, std::string(file.begin(), file.end()));
        const std::string name(path.begin(), path.end());
        VersionFields info;
        info.SelectFile(path);
        EXPECT_EQ(info.ReadError, 0u) << name;
        const VersionFields platform = PlatformVersionFields(path);
        for (std::size_t i = 0; i < std::size(kFields); ++i)
            EXPECT_EQ(info.*kFields[i], platform.*kFields[i]) << name << " field " << i;
        for (const auto& [field, value] : c.expected)
            EXPECT_EQ(info.*field, value) << name;
    }
}
