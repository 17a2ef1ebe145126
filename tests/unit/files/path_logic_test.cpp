// The path splitter, the suffix routine and the date builder: pure logic.

#include "files/path_logic.h"

#include <gtest/gtest.h>

using namespace calvorn::files;

TEST(GetPathPart, SplitsAtTheLastBackslashAndTheLastDot) {
    struct Row {
        const wchar_t* path;
        const wchar_t* folder;
        const wchar_t* name;
        const wchar_t* extension;
        const wchar_t* nameAndExtension;
    };
    const Row rows[] = {
        {L"C:\\Windows\\system32\\shell32.dll", L"C:\\Windows\\system32\\", L"shell32", L"dll",
         L"shell32.dll"},
        {L"C:\\work\\*.*", L"C:\\work\\", L"*", L"*", L"*.*"},
        {L"C:\\app.old\\README", L"C:\\app.old\\", L"README", L"", L"README."},
        {L"C:\\home\\.profile", L"C:\\home\\", L"", L"profile", L"profile"},
        {L"report.txt", L"", L"report", L"txt", L"report.txt"},
        {L"C:\\dir\\", L"C:\\dir\\", L"", L"", L""},
        {L"", L"", L"", L"", L""},
        {L"a.b.c", L"", L"a.b", L"c", L"a.b.c"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "path index " << (&row - rows));
        EXPECT_EQ(GetPathPart(row.path, ppPath), row.folder);
        EXPECT_EQ(GetPathPart(row.path, ppName), row.name);
        EXPECT_EQ(GetPathPart(row.path, ppExtension), row.extension);
        EXPECT_EQ(GetPathPart(row.path, ppName + ppExtension), row.nameAndExtension);
    }
}

TEST(GetPathPart, JoinsFolderNameAndExtensionInFixedOrder) {
    EXPECT_EQ(GetPathPart(L"C:\\a\\b.txt", ppPath + ppName + ppExtension), L"C:\\a\\b.txt");
    EXPECT_EQ(GetPathPart(L"C:\\a\\b.txt", ppPath + ppName), L"C:\\a\\b");
    // The dot follows whatever precedes the extension, the folder included.
    EXPECT_EQ(GetPathPart(L"C:\\a\\b.txt", ppPath + ppExtension), L"C:\\a\\.txt");
    EXPECT_EQ(GetPathPart(L"C:\\a\\README", ppPath + ppExtension), L"C:\\a\\.");
    EXPECT_EQ(GetPathPart(L"C:\\a\\b.txt", 0), L"");
}

TEST(EnsureSuffix, AppendsOnlyWhatIsMissingComparingExactly) {
    EXPECT_EQ(EnsureSuffix(L"C:\\work", L"\\"), L"C:\\work\\");
    EXPECT_EQ(EnsureSuffix(L"C:\\work\\", L"\\"), L"C:\\work\\");
    EXPECT_EQ(EnsureSuffix(L"", L"\\"), L"\\");
    EXPECT_EQ(EnsureSuffix(L"abc", L""), L"abc");
    EXPECT_EQ(EnsureSuffix(L"name.TXT", L".txt"), L"name.TXT.txt");
    EXPECT_EQ(EnsureSuffix(L"xt", L".txt"), L"xt.txt");
}

TEST(StripNull, CutsAtTheFirstNul) {
    EXPECT_EQ(StripNull(std::wstring(L"ab\0cd", 5)), L"ab");
    EXPECT_EQ(StripNull(L"abc"), L"abc");
    EXPECT_EQ(StripNull(std::wstring(3, L'\0')), L"");
}

TEST(DateFromFields, CountsDaysFromThe30thOfDecember1899) {
    EXPECT_DOUBLE_EQ(DateFromFields({1899, 12, 30, 0, 0, 0}), 0.0);
    EXPECT_DOUBLE_EQ(DateFromFields({1899, 12, 31, 12, 0, 0}), 1.5);
    EXPECT_DOUBLE_EQ(DateFromFields({1900, 3, 1, 0, 0, 0}), 61.0); // 1900 has no 29 February
    EXPECT_DOUBLE_EQ(DateFromFields({2000, 2, 29, 0, 0, 0}), 36585.0);
    EXPECT_DOUBLE_EQ(DateFromFields({2004, 3, 5, 14, 7, 9}),
                     38051.0 + (14 * 3600 + 7 * 60 + 9) / 86400.0);
    EXPECT_DOUBLE_EQ(DateFromFields({9999, 12, 31, 23, 59, 59}), 2958465.0 + 86399 / 86400.0);
}

TEST(DateFromFields, BeforeDayZeroTheTimeOfDayStillCountsForward) {
    EXPECT_DOUBLE_EQ(DateFromFields({1601, 1, 1, 0, 0, 0}), -109205.0);
    EXPECT_DOUBLE_EQ(DateFromFields({1899, 12, 29, 6, 0, 0}), -1.25);
    EXPECT_DOUBLE_EQ(DateFromFields({1899, 12, 29, 18, 0, 0}), -1.75);
    EXPECT_DOUBLE_EQ(DateFromFields({100, 1, 1, 0, 0, 0}), -657434.0);
}

TEST(DateFromFields, InvalidFieldsGiveTheZeroDate) {
    const CalendarFields invalid[] = {
        {0, 0, 0, 0, 0, 0},     {2004, 13, 1, 0, 0, 0},   {2004, 0, 1, 0, 0, 0},
        {1900, 2, 29, 0, 0, 0}, {2004, 4, 31, 0, 0, 0},   {2004, 3, 5, 24, 0, 0},
        {2004, 3, 5, 0, 60, 0}, {2004, 3, 5, 0, 0, 60},   {99, 1, 1, 0, 0, 0},
        {10000, 1, 1, 0, 0, 0}, {30827, 12, 31, 0, 0, 0}, {2004, 3, 5, -1, 0, 0},
    };
    for (const CalendarFields& f : invalid)
        EXPECT_EQ(DateFromFields(f), kZeroDate) << f.year << "-" << f.month << "-" << f.day;
}

TEST(FieldsFromDate, GivesBackTheCalendarFields) {
    const CalendarFields samples[] = {
        {1601, 1, 1, 0, 0, 0},  {1899, 12, 29, 6, 0, 0},  {1899, 12, 30, 23, 59, 59},
        {2004, 3, 5, 14, 7, 9}, {2000, 2, 29, 12, 30, 1}, {9999, 12, 31, 23, 59, 59},
        {1752, 9, 14, 1, 2, 3},
    };
    for (const CalendarFields& f : samples) {
        CalendarFields back = FieldsFromDate(DateFromFields(f));
        EXPECT_EQ(back.year, f.year);
        EXPECT_EQ(back.month, f.month);
        EXPECT_EQ(back.day, f.day);
        EXPECT_EQ(back.hour, f.hour);
        EXPECT_EQ(back.minute, f.minute);
        EXPECT_EQ(back.second, f.second);
    }
}
