#include "ui/file_dialog.h"

#include <gtest/gtest.h>

using calvorn::ui::kExportFilters;
using calvorn::ui::NameForType;

// The export's file name follows the format chosen in the Save dialog: the
// suggested "a.reg" with WiX chosen was once written as WiX under ".reg".
TEST(NameForType, AnOfferedExtensionFollowsTheChosenTypeAnyOtherStays) {
    struct Row {
        const wchar_t* given;
        int type;
        const wchar_t* expected;
    } rows[] = {
        {L"C:\\out\\a.reg", 1, L"C:\\out\\a.wxs"},
        {L"C:\\out\\a.REG", 3, L"C:\\out\\a.manifest"},
        {L"C:\\out\\a.wxs", 2, L"C:\\out\\a.wxs"},
        {L"C:\\out\\a.jsonl", 0, L"C:\\out\\a.reg"},
        {L"C:\\out\\a", 4, L"C:\\out\\a.jsonl"},
        {L"C:\\out.d\\a", 0, L"C:\\out.d\\a.reg"},
        {L"C:\\out\\a.txt", 1, L"C:\\out\\a.txt"}, // typed on purpose
        {L"a.v1.reg", 1, L"a.v1.wxs"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(NameForType(row.given, kExportFilters, row.type), row.expected) << row.given;
    // A type without an extension of its own changes nothing.
    EXPECT_EQ(NameForType(L"a.reg", L"Registry|*.reg|All files|*.*", 1), L"a.reg");
}
