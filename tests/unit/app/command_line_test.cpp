#include "app/command_line.h"

#include <gtest/gtest.h>

using namespace calvorn::app;

namespace {
const std::wstring kApp = L"C:\\Tools\\Calvorn\\";
}

TEST(ArgumentsOf, SkipsTheProgramNameQuotedOrNot) {
    EXPECT_EQ(ArgumentsOf(LR"("C:\Program Files\calvorn.exe" -r "C:\a b.dll")"),
              LR"(-r "C:\a b.dll")");
    EXPECT_EQ(ArgumentsOf(L"calvorn.exe -s"), L"-s");
    EXPECT_EQ(ArgumentsOf(L"calvorn.exe"), L"");
    EXPECT_EQ(ArgumentsOf(L"\"calvorn.exe\"   x "), L"x ");
}

TEST(SplitArguments, QuotedPathAfterSwitchKeepsItsSpaces) {
    auto items = SplitArguments(LR"(-r "C:\My Files\a.dll")");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0], L"-r");
    EXPECT_EQ(items[1], LR"(C:\My Files\a.dll)");
}

TEST(SplitArguments, UnquotedPathIsCutAtTheFirstSpace) {
    auto items = SplitArguments(LR"(-r C:\My Files\a.dll)");
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[1], LR"(C:\My)");
}

TEST(SplitArguments, TextAfterTheClosingQuoteStaysInThePath) {
    auto items = SplitArguments(LR"(-r "C:\a.dll" x)");
    EXPECT_EQ(items[1], LR"(C:\a.dll" )");
}

TEST(SplitArguments, TwoSpacesBeforeTheQuotedPath) {
    auto items = SplitArguments(LR"(-u  "C:\a.dll")");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0], L"-u");
    EXPECT_EQ(items[1], LR"(C:\a.dll)");
}

TEST(SplitArguments, OnlyQuoteIsTheLastCharacter) {
    auto items = SplitArguments(L"-r a b\"");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0], L"-r");
    EXPECT_EQ(items[1], L"a");
}

TEST(SplitArguments, QuotedPathAloneBecomesElementZero) {
    auto items = SplitArguments(LR"("C:\x y\a.dll")");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0], LR"(C:\x y\a.dll)");
    // The second split element stays; only a switch takes the quoted text there.
    EXPECT_EQ(items[1], LR"(y\a.dll")");
}

TEST(ApplyPathRule, RelativeNamesGetTheProgramFolderAbsoluteOnesDoNot) {
    EXPECT_EQ(ApplyPathRule(L"a.dll", kApp), kApp + L"a.dll");
    EXPECT_EQ(ApplyPathRule(L"C:\\x\\a.dll", kApp), L"C:\\x\\a.dll");
    EXPECT_EQ(ApplyPathRule(L"\\\\server\\share\\a.dll", kApp), L"\\\\server\\share\\a.dll");
    EXPECT_EQ(ApplyPathRule(L"", kApp), L"");
    // Forward slashes are separators too, and come back as backslashes.
    EXPECT_EQ(ApplyPathRule(L"C:/dir/x.dll", kApp), L"C:\\dir\\x.dll");
    EXPECT_EQ(ApplyPathRule(L"c:/x.dll", kApp), L"c:\\x.dll");
    EXPECT_EQ(ApplyPathRule(L"//server/share/a.dll", kApp), L"\\\\server\\share\\a.dll");
    EXPECT_EQ(ApplyPathRule(L"sub/a.dll", kApp), kApp + L"sub\\a.dll");
}

TEST(ParseCommand, SwitchesAreExactAndCaseSensitive) {
    EXPECT_EQ(ParseCommand(LR"(-r "C:\a.dll")", kApp).action, CommandAction::Register);
    EXPECT_EQ(ParseCommand(LR"(-u "C:\a.dll")", kApp).action, CommandAction::Unregister);
    EXPECT_EQ(ParseCommand(LR"(-f "C:\dir")", kApp).action, CommandAction::FolderReport);
    EXPECT_EQ(ParseCommand(L"-s", kApp).action, CommandAction::InstallVerbs);
    Command upper = ParseCommand(LR"(-R "C:\a.dll")", kApp);
    EXPECT_EQ(upper.action, CommandAction::OpenReport);
    EXPECT_EQ(upper.path, L"C:\\a.dll");
}

TEST(ParseCommand, SwitchAloneHasAnEmptyPath) {
    Command cmd = ParseCommand(L"-r", kApp);
    EXPECT_EQ(cmd.action, CommandAction::Register);
    EXPECT_EQ(cmd.path, L"");
}

TEST(ParseCommand, NonAsciiPathsSurvive) {
    Command cmd = ParseCommand(L"-r \"C:\\Пример\\コンポ.dll\"", kApp);
    EXPECT_EQ(cmd.path, L"C:\\Пример\\コンポ.dll");
}
