// The collection's keys, positions and removal, and the file object's
// properties that depend on the text of the name alone.

#include "files/file_system.h"
#include "files/folder_listing.h"

#include <gtest/gtest.h>

using namespace calvorn::files;

TEST(ColFiles, AddKeysByNameOrKeyAndRefusesDuplicatesInAnyCase) {
    FolderListing files;
    auto first = files.Add(L"C:\\a\\one.dll");
    auto again = files.Add(L"C:\\A\\ONE.DLL");
    ASSERT_NE(again, nullptr); // returned ...
    EXPECT_EQ(again->sFileName(), L"C:\\A\\ONE.DLL");
    EXPECT_EQ(files.Count(), 1); // ... but not stored
    files.Add(L"C:\\a\\two.dll", L"Second");
    files.Add(L"C:\\a\\three.dll", L"SECOND"); // key already there
    EXPECT_EQ(files.Count(), 2);

    EXPECT_EQ(files.Item(1), first);
    EXPECT_EQ(files.Item(L"c:\\a\\ONE.dll"), first);
    EXPECT_EQ(files.Item(L"second")->sFileName(), L"C:\\a\\two.dll");
    EXPECT_EQ(files.Item(2)->sFileName(), L"C:\\a\\two.dll");
}

TEST(ColFiles, MissingPositionsAndKeysGiveNoObjectAndChangeNothing) {
    FolderListing files;
    files.Add(L"x.dll");
    files.Add(L"y.dll");
    EXPECT_EQ(files.Item(0), nullptr);
    EXPECT_EQ(files.Item(3), nullptr);
    EXPECT_EQ(files.Item(-1), nullptr);
    EXPECT_EQ(files.Item(L"z.dll"), nullptr);
    files.Remove(0);
    files.Remove(3);
    files.Remove(L"nothing");
    EXPECT_EQ(files.Count(), 2);
}

TEST(ColFiles, RemoveShiftsLaterPositionsAndFreesTheKey) {
    FolderListing files;
    files.Add(L"a.dll");
    files.Add(L"b.dll");
    files.Add(L"c.dll");
    files.Remove(L"B.DLL");
    ASSERT_EQ(files.Count(), 2);
    EXPECT_EQ(files.Item(2)->sFileName(), L"c.dll");
    files.Remove(1);
    ASSERT_EQ(files.Count(), 1);
    EXPECT_EQ(files.Item(1)->sFileName(), L"c.dll");
    files.Add(L"b.dll"); // the key is free again
    EXPECT_EQ(files.Count(), 2);

    std::vector<std::wstring> seen;
    for (const auto& file : files)
        seen.push_back(file->sFileName());
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"c.dll", L"b.dll"}));
}

TEST(ColFiles, ObjectsHeldByACallerOutliveClear) {
    FolderListing files;
    auto held = files.Add(L"kept.dll");
    files.Clear();
    EXPECT_EQ(files.Count(), 0);
    EXPECT_EQ(files.Item(1), nullptr);
    EXPECT_EQ(held->sFileName(), L"kept.dll");
}

TEST(ClsFile, NamePropertiesComeFromTheTextAlone) {
    FileFacts file;
    file.sFileName(L"C:\\Program Files\\App\\tool.ocx");
    EXPECT_EQ(file.sName(), L"tool");
    EXPECT_EQ(file.sExtension(), L"ocx");
    EXPECT_EQ(file.sNameAndExtension(), L"tool.ocx");
    EXPECT_EQ(file.sPath(), L"C:\\Program Files\\App\\");
    EXPECT_EQ(file.sDriveLetter(), L"C:");
    EXPECT_EQ(file.sPathRoot(), L"C:\\");
    EXPECT_FALSE(file.bUNC());

    file.sFileName(L"\\\\server\\share\\dir\\a.dll");
    EXPECT_EQ(file.sDriveLetter(), L"");
    EXPECT_EQ(file.sPathRoot(), L"\\\\server\\share\\");
    EXPECT_TRUE(file.bUNC());
    EXPECT_TRUE(file.bNetworkPath());
    EXPECT_FALSE(file.bUNCServer());

    file.sFileName(L"\\\\server\\share");
    EXPECT_TRUE(file.bUNCServerShare());
    file.sFileName(L"\\\\server");
    EXPECT_TRUE(file.bUNCServer());

    file.sFileName(L"C:\\dir\\README");
    EXPECT_EQ(file.sNameAndExtension(), L"README.");
    EXPECT_EQ(file.sExtension(), L"");

    file.sFileName(L"tool.ocx");
    EXPECT_EQ(file.sPath(), L"");
    EXPECT_EQ(file.sPathRoot(), L"");
    EXPECT_EQ(file.sDriveLetter(), L"");
}

TEST(FileRoutines, PathRootAndDatesFromPlatformRecords) {
    EXPECT_EQ(GetPathRoot(L"C:\\a\\b.txt"), L"C:\\");
    EXPECT_EQ(GetPathRoot(L"\\\\server\\share\\a\\b.txt"), L"\\\\server\\share");
    EXPECT_EQ(GetPathRoot(L"a\\b.txt"), L"");

    FILETIME zero{};
    EXPECT_DOUBLE_EQ(FileTimeToDate(zero), -109205.0); // 1 January 1601 00:00:00

    SYSTEMTIME st{};
    st.wYear = 2004;
    st.wMonth = 3;
    st.wDay = 5;
    st.wDayOfWeek = 5;
    st.wHour = 14;
    st.wMinute = 7;
    st.wSecond = 9;
    st.wMilliseconds = 500; // dropped
    EXPECT_DOUBLE_EQ(SystemTimeToDate(st), 38051.0 + (14 * 3600 + 7 * 60 + 9) / 86400.0);
    EXPECT_EQ(SystemTimeToDate(SYSTEMTIME{}), kZeroDate);

    // The date order of the user's locale plays no part: 03/05 stays March.
    FILETIME ft{};
    ASSERT_TRUE(::SystemTimeToFileTime(&st, &ft));
    EXPECT_DOUBLE_EQ(FileTimeToDate(ft), 38051.0 + (14 * 3600 + 7 * 60 + 9) / 86400.0);
}
