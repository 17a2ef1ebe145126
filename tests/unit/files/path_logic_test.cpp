// The path splitter and the cut at a NUL: pure logic.

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

TEST(StripNull, CutsAtTheFirstNul) {
    EXPECT_EQ(StripNull(std::wstring(L"ab\0cd", 5)), L"ab");
    EXPECT_EQ(StripNull(L"abc"), L"abc");
    EXPECT_EQ(StripNull(std::wstring(3, L'\0')), L"");
}
