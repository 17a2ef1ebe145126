#include "app/startup_helpers.h"
#include "platform/error_record.h"
#include "platform/text.h"

#include <windows.h>

#include <gtest/gtest.h>

using namespace calvorn::app;

TEST(ToBool, WordsInAnyCaseAndNumbers) {
    EXPECT_TRUE(ToBool(L"true"));
    EXPECT_TRUE(ToBool(L"TRUE"));
    EXPECT_TRUE(ToBool(L"tRuE"));
    EXPECT_FALSE(ToBool(L"False"));
    EXPECT_TRUE(ToBool(L"1"));
    EXPECT_TRUE(ToBool(L"-2.5"));
    EXPECT_FALSE(ToBool(L"0"));
    EXPECT_FALSE(ToBool(L"yes"));
    EXPECT_FALSE(ToBool(L""));
    EXPECT_FALSE(ToBool(L"1x"));
}

TEST(BuildAppTitle, ThreeSpacesBeforeTheBuild) {
    EXPECT_EQ(BuildAppTitle(L"Calvorn", 1, 2, 22), L"Calvorn v.1.2   (build 22)");
    EXPECT_EQ(BuildAppTitle(L"Calvorn", 1, 2, 0), L"Calvorn v.1.2   (build 0)");
}

TEST(StripNull, CutsAtTheFirstNul) {
    EXPECT_EQ(StripNull(std::wstring(L"ab\0cd", 5)), L"ab");
    EXPECT_EQ(StripNull(L"abc"), L"abc");
}

TEST(ErrorReport, NegativeNumbersKeepTheirSign) {
    calvorn::platform::ErrorRecord record{-2147024894, L"", L"File not found."};
    EXPECT_EQ(calvorn::platform::FormatErrorReport(L"Main", record),
              L"Main: error -2147024894: File not found.");
}

TEST(SystemTexts, InsertsAreFilledOrTakenOutNeverLeftBehind) {
    using calvorn::platform::FillInserts;
    struct Row {
        const wchar_t* text;
        const wchar_t* insert;
        const wchar_t* expected;
    } rows[] = {
        {L"Bad EXE format for %1.\r\n", L"C:\\a.dll", L"Bad EXE format for C:\\a.dll."},
        {L"Bad EXE format for %1.\r\n", L"", L"Bad EXE format for."},
        {L"%1 is not a valid Win32 application.", L"", L"is not a valid Win32 application."},
        {L"Copy %1!s! to %2 now", L"a.dll", L"Copy a.dll to now"},
        {L"Copy %1 to %2, %3 now", L"", L"Copy to, now"},
        {L"100%% done%.%nNext%0 ignored", L"", L"100% done. Next"},
        {L"Ends in %", L"", L"Ends in %"},
        {L"%12 and %9", L"x", L"and"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(FillInserts(row.text, row.insert), row.expected)
            << calvorn::platform::Narrow(row.text);
}

TEST(SystemTexts, ACodeWithoutSystemWordsIsNamed) {
    using calvorn::platform::HexCode;
    using calvorn::platform::SystemMessage;
    for (long code : {static_cast<long>(0x80040154), static_cast<long>(0x800401F0),
                      static_cast<long>(0x80040201), static_cast<long>(0x80040111),
                      static_cast<long>(0x80004002), static_cast<long>(0x8002801D)}) {
        const std::wstring name(calvorn::platform::CodeName(code));
        ASSERT_FALSE(name.empty()) << code;
        const std::wstring text = HexCode(code);
        if (SystemMessage(static_cast<unsigned long>(code)).empty())
            EXPECT_NE(text.find(L" (" + name + L")"), std::wstring::npos)
                << calvorn::platform::Narrow(text);
        else
            EXPECT_EQ(text.size(), 10u) << calvorn::platform::Narrow(text);
        // An error record is never without a reason.
        EXPECT_FALSE(calvorn::platform::HResultError(code).description.empty());
    }
    EXPECT_EQ(calvorn::platform::CodeName(0x80040154), L"REGDB_E_CLASSNOTREG");
    EXPECT_EQ(calvorn::platform::CodeName(0x12345678), L"");
    EXPECT_EQ(HexCode(0x12345678), L"0x12345678");
    // Where the system words a code, its text stays free of inserts.
    EXPECT_EQ(SystemMessage(ERROR_BAD_EXE_FORMAT, L"C:\\x.dll").find(L"%"), std::wstring::npos);
}
