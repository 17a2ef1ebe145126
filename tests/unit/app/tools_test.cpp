#include "app/basTools.h"
#include "platform/error_record.h"

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
