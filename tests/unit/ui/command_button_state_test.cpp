// The Command button's behaviour and paint decisions, without a window.

#include "ui/command_button_state.h"

#include <gtest/gtest.h>

using namespace calvorn::ui;

namespace {

std::vector<ButtonPicture> Pictures(const ButtonReaction& r) {
    std::vector<ButtonPicture> out;
    for (const ButtonPaint& p : r.paints)
        out.push_back(p.picture);
    return out;
}

using P = ButtonPicture;

ButtonLogic Initialised(const std::wstring& caption = L"&Open") {
    ButtonLogic b;
    b.Caption(caption);
    b.Initialize();
    return b;
}

} // namespace

TEST(ButtonLogic, NewButtonStartsNormalAndFinishesSetUpOnFirstEnabledRead) {
    ButtonLogic b;
    EXPECT_EQ(b.Caption(), L"Command");
    EXPECT_EQ(b.State(), ButtonState::Normal);
    EXPECT_EQ(b.FirstRun(), 0);
    EXPECT_FALSE(b.HoverWatched());
    EXPECT_TRUE(b.Enabled());
    EXPECT_EQ(b.FirstRun(), 1);
    // No hover tracking before Initialize.
    EXPECT_TRUE(b.HoverCheck(false).paints.empty());
}

TEST(ButtonLogic, HoverPressAndReleaseRaisesClickOnce) {
    ButtonLogic b = Initialised();
    ButtonReaction r = b.MouseMove();
    EXPECT_EQ(Pictures(r), (std::vector{P::HighLight}));
    EXPECT_EQ(b.State(), ButtonState::Hover);
    EXPECT_TRUE(r.paints[0].gradientInverted);
    // A press on an unfocused button gives it the focus first.
    EXPECT_EQ(Pictures(b.FocusGained()), (std::vector{P::Pressed}));
    EXPECT_EQ(b.State(), ButtonState::FocusedHover);
    r = b.MouseButtonDown(true);
    EXPECT_EQ(Pictures(r), (std::vector{P::Pressed}));
    EXPECT_TRUE(b.MouseDown());
    EXPECT_FALSE(r.click);
    r = b.MouseButtonUp(true);
    EXPECT_EQ(Pictures(r), (std::vector{P::HighLightSelect}));
    EXPECT_TRUE(r.click);
    EXPECT_TRUE(r.paints[0].focusRect);
    EXPECT_FALSE(b.MouseDown());
}

TEST(ButtonLogic, LeavingWhileHeldCancelsTheClickEvenAfterComingBack) {
    ButtonLogic b = Initialised();
    b.MouseMove();
    b.FocusGained();
    b.MouseButtonDown(true);
    EXPECT_EQ(Pictures(b.HoverCheck(false)), (std::vector{P::Selected}));
    EXPECT_EQ(b.State(), ButtonState::Focused);
    // Back over the button, still held: the hover look is blocked.
    EXPECT_TRUE(b.MouseMove().paints.empty());
    EXPECT_TRUE(b.HoverCheck(true).paints.empty());
    EXPECT_EQ(b.State(), ButtonState::Focused);
    ButtonReaction up = b.MouseButtonUp(true);
    EXPECT_FALSE(up.click);
    EXPECT_TRUE(up.paints.empty());
}

TEST(ButtonLogic, HoverEndsWhenTheCursorLeaves) {
    ButtonLogic b = Initialised();
    b.MouseMove();
    EXPECT_EQ(Pictures(b.HoverCheck(false)), (std::vector{P::Normal}));
    EXPECT_EQ(b.State(), ButtonState::Normal);
    EXPECT_TRUE(b.HoverCheck(false).paints.empty()); // a second leave repaints nothing
}

TEST(ButtonLogic, AccessKeyPressesAndClicks) {
    ButtonLogic b = Initialised(L"&Open");
    EXPECT_EQ(b.AccessKey(), L'O');
    ButtonReaction r = b.AccessKeyPressed();
    EXPECT_EQ(Pictures(r), (std::vector{P::Pressed, P::HighLightSelect}));
    EXPECT_TRUE(r.click);
    EXPECT_EQ(b.State(), ButtonState::FocusedHover);
}

TEST(ButtonLogic, AccessKeyFollowsTheCaption) {
    ButtonLogic b = Initialised(L"&Open");
    b.Caption(L"Close");
    EXPECT_EQ(b.AccessKey(), L'O'); // no "&": the earlier key stays
    b.Caption(L"Save&");
    EXPECT_EQ(b.AccessKey(), L'\0');
    b.Caption(L"Fish && &Chips");
    EXPECT_EQ(AccessKeyOf(L"Fish && &Chips"), std::optional<wchar_t>(L'&'));
    EXPECT_EQ(AccessKeyOf(L"Plain"), std::nullopt);
}

TEST(ButtonLogic, DisabledButtonIsGreyAndIgnoresInputUntilEnabled) {
    ButtonLogic b = Initialised();
    ButtonReaction r = b.Enabled(false);
    EXPECT_EQ(Pictures(r), (std::vector{P::Disable}));
    EXPECT_EQ(r.paints[0].textColour, kCaptionGrey);
    EXPECT_EQ(b.State(), ButtonState::Disabled);
    EXPECT_EQ(b.AccessKey(), L'\0');
    EXPECT_TRUE(b.MouseMove().paints.empty());
    EXPECT_FALSE(b.MouseButtonUp(true).click);
    EXPECT_FALSE(b.MouseButtonUp(false).click);
    EXPECT_FALSE(b.AccessKeyPressed().click);
    EXPECT_TRUE(b.FocusGained().paints.empty());
    r = b.Enabled(true);
    EXPECT_EQ(Pictures(r), (std::vector{P::Normal}));
    EXPECT_EQ(r.paints[0].textColour, kCaptionBlack);
    EXPECT_EQ(b.State(), ButtonState::Normal);
    EXPECT_EQ(b.AccessKey(), L'O');
}

TEST(ButtonLogic, AnyReleasedMouseButtonClicksUnlessFocusedWithoutHover) {
    ButtonLogic b = Initialised();
    b.MouseMove();
    b.FocusGained();
    EXPECT_TRUE(b.MouseButtonDown(false).paints.empty());
    ButtonReaction r = b.MouseButtonUp(false);
    EXPECT_TRUE(r.click);
    EXPECT_TRUE(r.paints.empty());

    ButtonLogic focused = Initialised();
    focused.FocusGained();
    EXPECT_FALSE(focused.MouseButtonUp(false).click);
}

TEST(ButtonLogic, FocusAndRedrawDecideFrameFocusRectAndGradient) {
    ButtonLogic b = Initialised();
    ButtonReaction r = b.FocusGained();
    EXPECT_EQ(Pictures(r), (std::vector{P::Selected}));
    EXPECT_TRUE(r.paints[0].focusRect);
    EXPECT_FALSE(r.paints[0].gradientInverted);
    // A repaint of a focused button shows the Normal frame and the focus rectangle.
    r = b.Redraw();
    EXPECT_EQ(Pictures(r), (std::vector{P::Normal}));
    EXPECT_TRUE(r.paints[0].focusRect);
    // State 4 keeps the orientation of the last paint: here the focused one.
    EXPECT_FALSE(b.MouseMove().paints[0].gradientInverted);
    b.HoverCheck(false);
    EXPECT_EQ(Pictures(b.FocusLost()), (std::vector{P::Normal}));
    EXPECT_FALSE(b.Redraw().paints[0].focusRect);
    EXPECT_TRUE(b.FocusLost().paints.empty());
    // Hover inverts it, and the press that focuses a hovered button keeps that.
    EXPECT_TRUE(b.MouseMove().paints[0].gradientInverted);
    EXPECT_TRUE(b.FocusGained().paints[0].gradientInverted);
}

TEST(ButtonGeometry, FramePiecesFollowTheButtonSize) {
    auto pieces = FramePieces(105, 28);
    EXPECT_EQ(pieces[0].source, (PixelRect{0, 0, 4, 4}));
    EXPECT_EQ(pieces[0].destination, (PixelRect{0, 0, 4, 4}));
    EXPECT_EQ(pieces[1].source, (PixelRect{4, 0, 56, 4}));
    EXPECT_EQ(pieces[1].destination, (PixelRect{4, 0, 97, 4}));
    EXPECT_EQ(pieces[2].destination, (PixelRect{101, 0, 4, 4}));
    EXPECT_EQ(pieces[3].source, (PixelRect{60, 4, 4, 17}));
    EXPECT_EQ(pieces[3].destination, (PixelRect{101, 4, 4, 20}));
    EXPECT_EQ(pieces[4].source, (PixelRect{60, 21, 4, 4}));
    EXPECT_EQ(pieces[4].destination, (PixelRect{101, 24, 4, 4}));
    EXPECT_EQ(pieces[5].destination, (PixelRect{4, 24, 97, 4}));
    EXPECT_EQ(pieces[6].destination, (PixelRect{0, 24, 4, 4}));
    EXPECT_EQ(pieces[7].destination, (PixelRect{0, 4, 4, 20}));
    // At 144 DPI the band is 6 pixels: corners stretch, the middle stays free.
    EXPECT_EQ(FramePieces(150, 42, 6)[1].destination, (PixelRect{6, 0, 138, 6}));
}

TEST(ButtonGeometry, CaptionIsCentredWithHalvesRoundedToEven) {
    EXPECT_EQ(CaptionRect(105, 28, 16), (std::array<int, 4>{4, 6, 101, 28}));
    EXPECT_EQ(CaptionRect(105, 28, 15)[1], 6);  // 6.5 -> 6
    EXPECT_EQ(CaptionRect(105, 28, 13)[1], 8);  // 7.5 -> 8
    EXPECT_EQ(CaptionRect(105, 28, 41)[1], -6); // -6.5 -> -6: above the top edge
    EXPECT_EQ(CaptionRect(105, 28, 43)[1], -8); // -7.5 -> -8
}

TEST(ButtonGeometry, FocusRectangleIsInsetByTheBand) {
    auto lines = FocusLines(105, 28);
    EXPECT_EQ(lines[0], (Line{4, 4, 4, 24}));
    EXPECT_EQ(lines[1], (Line{4, 4, 101, 4}));
    EXPECT_EQ(lines[2], (Line{100, 4, 100, 24}));
    EXPECT_EQ(lines[3], (Line{4, 23, 101, 23}));
}

TEST(ButtonGeometry, GradientRunsFromWhiteToLavenderUnlessInverted) {
    EXPECT_EQ(GradientColours(false), (std::array<std::uint32_t, 2>{0xFFFFFFu, 0xD7C5C6u}));
    EXPECT_EQ(GradientColours(true), (std::array<std::uint32_t, 2>{0xD7C5C6u, 0xFFFFFFu}));
}
