// The stored layout format and the Command button's persisted property set.

#include "support/test_paths.h"
#include "ui/form_builder.h"
#include "ui/form_layout.h"
#include "ui/window_placement.h"

#include <windows.h>

#include <gtest/gtest.h>

using namespace calvorn::ui;

namespace {

std::vector<std::wstring> Keys(const LayoutBlock& block) {
    std::vector<std::wstring> keys;
    for (const LayoutProperty& p : block.properties)
        keys.push_back(p.key);
    return keys;
}

ButtonProperties RoundTrip(const ButtonProperties& in, const std::wstring& ambient) {
    LayoutBlock block{L"Command", L"cmdX", {}};
    WriteButtonProperties(in, ambient, block);
    std::vector<LayoutBlock> back = ParseLayout(WriteLayout({block}));
    EXPECT_EQ(back.size(), 1u);
    return ReadButtonProperties(back.at(0), ambient);
}

} // namespace

TEST(FormLayout, TextSurvivesWritingAndReading) {
    std::vector<LayoutBlock> blocks = {
        {L"Form", L"frmMain", {{L"ClientWidth", L"9600", false}}},
        {L"Label",
         L"lblShell",
         {{L"Caption", L"Say \"hi\" = 'there' | Begin End", true},
          {L"Left", L"-150", false},
          {L"Empty", L"", true}}},
        {L"Command", L"cmdGo", {}},
    };
    EXPECT_EQ(ParseLayout(WriteLayout(blocks)), blocks);
}

TEST(FormLayout, ReadingSkipsWhatItCannotUse) {
    auto blocks = ParseLayout(L"' comment\r\nOrphan = 1\r\nBegin Frame f\r\n  Caption = \"open\r\n"
                              L"  Width = 12x\r\n  Height = &H10\r\n  Visible = True\r\nEnd\r\n"
                              L"Begin Picture p");
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].Text(L"caption"), std::nullopt);
    EXPECT_EQ(blocks[0].Number(L"Width"), std::nullopt);
    EXPECT_EQ(blocks[0].Number(L"Height"), 16);
    EXPECT_EQ(blocks[0].Number(L"Visible"), -1);
    EXPECT_EQ(blocks[1].kind, L"Picture");
}

TEST(ButtonProperties, AChangedPropertySetSurvivesTheRoundTrip) {
    ButtonProperties p;
    p.enabled = false;
    p.caption = L"&Open \"quoted\"";
    p.fontFace = L"Tahoma";
    p.firstRun = 0;
    p.fontColour = 0x00FF8040;
    p.visible = 0;
    EXPECT_EQ(RoundTrip(p, L"Arial"), p);
}

TEST(ButtonProperties, DefaultsAreLeftOutAndComeBackUnchanged) {
    ButtonProperties p;
    p.fontFace = L"Arial";
    LayoutBlock block;
    WriteButtonProperties(p, L"Arial", block);
    EXPECT_TRUE(block.properties.empty());
    // One default caption both ways: a button captioned "Command" stays so.
    EXPECT_EQ(RoundTrip(p, L"Arial"), p);
    EXPECT_EQ(ReadButtonProperties(LayoutBlock{}, L"Arial").caption, L"Command");
}

TEST(ButtonProperties, WrittenInTheStoredOrder) {
    ButtonProperties p{false, L"Go", L"Tahoma", 0, 255, 0};
    LayoutBlock block;
    WriteButtonProperties(p, L"Arial", block);
    EXPECT_EQ(Keys(block), (std::vector<std::wstring>{L"Enabled", L"Caption", L"FirstRun", L"Font",
                                                      L"FontColour", L"Visible"}));
}

TEST(FormLayout, TheStoredMainWindowReadsAndWritesBackUnchanged) {
    // The layout as it lies in the source tree, beside this build.
    const std::wstring path = calvorn::test::BuildDir() + L"..\\..\\res\\MainWindow.layout";
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        GTEST_SKIP() << "no source tree beside the build";
    std::string bytes(1 << 16, '\0');
    DWORD read = 0;
    ::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    ::CloseHandle(file);
    std::wstring text(bytes.begin(), bytes.begin() + read); // the layout is plain ASCII
    auto layout = ParseLayout(text);
    ASSERT_GT(layout.size(), 30u);
    EXPECT_EQ(ParseLayout(WriteLayout(layout)), layout);
    int buttons = 0;
    for (const LayoutBlock& block : layout) {
        if (block.kind != L"Command")
            continue;
        ++buttons;
        // Each stored button holds its non-default properties in the written order.
        LayoutBlock properties{block.kind, block.name, {}};
        for (const LayoutProperty& p : block.properties)
            if (p.key == L"Caption" || p.key == L"Enabled" || p.key == L"FirstRun" ||
                p.key == L"Font" || p.key == L"FontColour" || p.key == L"Visible")
                properties.properties.push_back(p);
        LayoutBlock rewritten{block.kind, block.name, {}};
        WriteButtonProperties(ReadButtonProperties(block, L"Arial"), L"Arial", rewritten);
        EXPECT_EQ(rewritten, properties)
            << "button " << std::string(block.name.begin(), block.name.end());
    }
    EXPECT_EQ(buttons, 6);
}

TEST(FormLayout, AnchorsDecideWhichEdgesFollowTheWindow) {
    const RECT design{10, 20, 110, 70};
    auto at = [&](const wchar_t* anchor) {
        LayoutBlock block{L"TextBox", L"t", {}};
        if (anchor)
            block.SetText(L"Anchor", anchor);
        RECT r = Anchored(design, AnchorsOf(block), 40, 30);
        return std::vector<LONG>{r.left, r.top, r.right, r.bottom};
    };
    EXPECT_EQ(at(nullptr), (std::vector<LONG>{10, 20, 110, 70}));
    EXPECT_EQ(at(L"LTR"), (std::vector<LONG>{10, 20, 150, 70}));
    EXPECT_EQ(at(L"TR"), (std::vector<LONG>{50, 20, 150, 70}));
    EXPECT_EQ(at(L"LTRB"), (std::vector<LONG>{10, 20, 150, 100}));
    EXPECT_EQ(at(L"RB"), (std::vector<LONG>{50, 50, 150, 100}));
    EXPECT_EQ(at(L""), (std::vector<LONG>{30, 35, 130, 85})); // centred
}

TEST(FormLayout, PlacementTextRoundTripsAndRejectsWhatIsNoPlacement) {
    StoredPlacement p;
    p.normal = {-1200, 30, 400, 700};
    p.maximized = true;
    p.dpi = 144;
    auto back = ParsePlacement(FormatPlacement(p));
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(::EqualRect(&back->normal, &p.normal));
    EXPECT_TRUE(back->maximized);
    EXPECT_EQ(back->dpi, 144u);
    for (const wchar_t* bad :
         {L"", L"1 2 3", L"10 10 5 50 0 96", L"0 0 100 100 2 96", L"0 0 100 100 0 0",
          L"0 0 100 100 0 96 7", L"0 0 100 100 0 96x", L"0 0 99999999999 100 0 96"})
        EXPECT_FALSE(ParsePlacement(bad).has_value()) << std::string(bad, bad + wcslen(bad));
}
