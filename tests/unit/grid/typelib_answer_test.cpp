// The type-library helper's answer, written and read back: it crosses a
// process boundary, so a damaged or hostile answer must read as no library.

#include "inspection/typelib_info.h"

#include <gtest/gtest.h>

using calvorn::inspection::TypeLibInfo;

TEST(TypeLibAnswer, DamagedAnswersReadAsNoLibrary) {
    const std::wstring guid = L"{11111111-2222-3333-4444-555555555555}";
    auto field = [](const std::wstring& s) { return std::to_wstring(s.size()) + L":" + s; };
    const std::wstring good = field(guid) + field(L"1") + field(L"10") + field(L"0") + field(L"1") +
                              field(L"Lib:name") + field(L"");
    auto info = TypeLibInfo::Parse(good);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->Guid(), guid);
    EXPECT_EQ(info->MinorVersion(), 10);
    EXPECT_EQ(info->Name(), L"Lib:name");
    EXPECT_EQ(info->HelpString(), L"");
    // Written back, it reads the same.
    auto again = TypeLibInfo::Parse(info->Serialize());
    ASSERT_TRUE(again.has_value());
    EXPECT_TRUE(again->IsSameLibrary(*info));
    EXPECT_EQ(again->Name(), info->Name());

    for (const std::wstring& bad :
         {std::wstring(), good.substr(0, good.size() - 3), L"99999:" + good,
          field(L"{short}") + good.substr(field(guid).size()),
          field(guid) + field(L"65536") + good.substr(field(guid).size() + field(L"1").size()),
          field(guid) + field(L"-1") + good.substr(field(guid).size() + field(L"1").size()),
          std::wstring(L"4294967296:") + guid})
        EXPECT_FALSE(TypeLibInfo::Parse(bad).has_value()) << std::string(bad.begin(), bad.end());
}
