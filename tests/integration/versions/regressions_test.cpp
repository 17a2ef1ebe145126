// Files that once broke the version reader.

#include "inspection/version_fields.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

using calvorn::inspection::VersionFields;

// A resource directory entry that points outside the file: the platform's own
// version calls fault on it, so such an image must never reach them. It has no
// version resource we can show.
TEST(Regressions, BrokenResourceTreeGivesEmptyFieldsWithoutAskingThePlatform) {
    VersionFields info;
    info.SelectFile(calvorn::test::FixturePath(L"versions\\strings.dll"));
    ASSERT_FALSE(info.CompanyName.empty());
    info.SelectFile(calvorn::test::FixturePath(L"regressions\\broken_resource_tree.dll"));
    EXPECT_EQ(info.CompanyName, L"");
    EXPECT_EQ(info.FileVerEx, L"");
    EXPECT_EQ(info.FileTypeEx, L"");
}
