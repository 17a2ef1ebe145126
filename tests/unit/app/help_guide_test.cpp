// The window's help: each tab opens its own section of the guide, the guide's
// address survives any folder name, and the About box says where things are.

#include "app/help_guide.h"

#include <gtest/gtest.h>

using namespace calvorn::app;

TEST(HelpGuide, EachTabHasItsSectionAndTheAddressSurvivesAnyFolderName) {
    EXPECT_STREQ(GuideAnchorOfTab(0), L"register");
    EXPECT_STREQ(GuideAnchorOfTab(1), L"compare");
    EXPECT_STREQ(GuideAnchorOfTab(2), L"options");
    EXPECT_STREQ(GuideAnchorOfTab(-1), L"register");

    EXPECT_EQ(FileUrl(L"C:\\Program Files\\Calvorn\\guide.html", L"options"),
              L"file:///C:/Program%20Files/Calvorn/guide.html#options");
    // A '#', '%' or '?' in a folder's name is part of the path, not the URL's.
    EXPECT_EQ(FileUrl(L"D:\\C# 100%?\\guide.html", L"register"),
              L"file:///D:/C%23%20100%25%3F/guide.html#register");
    EXPECT_EQ(FileUrl(L"\\\\server\\share\\Ωμέγα\\guide.html", L"compare"),
              L"file://server/share/Ωμέγα/guide.html#compare");
    EXPECT_EQ(FileUrl(L"C:\\guide.html", L""), L"file:///C:/guide.html");
}

TEST(HelpGuide, TheAboutBoxSaysWhereTheSettingsAndTheGuideAre) {
    AboutFacts facts{L"version 1.0.0.1 (build 1)", L"HKEY_CURRENT_USER\\Software\\Calvorn\\General",
                     L"C:\\Tools\\guide.html", true, false};
    std::wstring text = AboutText(facts);
    for (const wchar_t* part :
         {L"Calvorn version 1.0.0.1 (build 1)", L"Licence: MIT",
          L"Settings: HKEY_CURRENT_USER\\Software\\Calvorn\\General",
          L"Guide: C:\\Tools\\guide.html", L"without the administrator's rights"})
        EXPECT_NE(text.find(part), std::wstring::npos) << part;
    facts.guideFound = false;
    facts.elevated = true;
    text = AboutText(facts);
    EXPECT_NE(text.find(L"not found; it was expected at C:\\Tools\\guide.html"),
              std::wstring::npos);
    EXPECT_NE(text.find(L"Runs with the administrator's rights."), std::wstring::npos);
}
