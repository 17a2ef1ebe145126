#pragma once
// The custom-drawn button's behaviour without a window: its visual state,
// the reaction to every input event, and the geometry of each paint. The
// window class in command_button.cpp only carries these decisions out.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace calvorn::ui {

// The six state pictures, in the order they are kept with the control.
enum class ButtonPicture : std::uint8_t {
    Selected,
    HighLightSelect,
    Disable,
    Normal,
    Pressed,
    HighLight,
};
constexpr int kButtonPictureCount = 6;

enum class ButtonState : std::uint8_t {
    Disabled,
    Normal,
    Hover,
    Focused,
    FocusedHover,
};

constexpr std::uint32_t kCaptionBlack = 0x000000;
constexpr std::uint32_t kCaptionGrey = 12632256; // RGB 192, 192, 192

// What one paint must draw, decided before any pixel is touched.
struct ButtonPaint {
    ButtonPicture picture = ButtonPicture::Normal;
    std::uint32_t textColour = kCaptionBlack;
    bool gradientInverted = false;
    bool focusRect = false;
};

// What an event asks of the window: the paints in order, and whether Click
// is raised after them.
struct ButtonReaction {
    std::vector<ButtonPaint> paints;
    bool click = false;
};

// The access key a caption gives: nothing when it has no "&" (the key stays
// as it was), L'\0' when the "&" is its last character.
std::optional<wchar_t> AccessKeyOf(const std::wstring& caption);

class ButtonLogic {
  public:
    // A new button: caption "Command", Enabled set through its property.
    ButtonLogic();

    const std::wstring& Caption() const { return caption_; }
    ButtonReaction Caption(std::wstring value);
    // Reading Enabled finishes the set-up of a button that has never been
    // read (FirstRun 0), as the property's getter does.
    bool Enabled();
    bool EnabledValue() const { return enabled_; }
    ButtonReaction Enabled(bool value);
    std::uint8_t FirstRun() const { return firstRun_; }
    void FirstRun(std::uint8_t value) { firstRun_ = value; }
    std::uint32_t TextColour() const { return textColour_; }
    void TextColour(std::uint32_t value) { textColour_ = value; }
    // The stored "FontColour": reading it sets the text colour until the next
    // paint; writing gives back what was read, not the colour of the last
    // paint, so that saving and loading a window changes nothing.
    std::uint32_t FontColour() const { return fontColour_; }
    void FontColour(std::uint32_t value) { fontColour_ = textColour_ = value; }
    bool Opaque() const { return opaque_; }
    void Opaque(bool value) { opaque_ = value; }

    ButtonState State() const { return state_; }
    bool MouseDown() const { return mouseDown_; }
    bool GradientInverted() const { return gradientInverted_; }
    // L'\0' when the button has no access key.
    wchar_t AccessKey() const { return accessKey_; }
    // Initialize starts watching for the cursor to leave the button.
    bool HoverWatched() const { return hoverWatched_; }

    void Initialize();
    ButtonReaction Redraw();
    ButtonReaction MouseMove();
    ButtonReaction MouseButtonDown(bool left);
    ButtonReaction MouseButtonUp(bool left);
    ButtonReaction FocusGained();
    ButtonReaction FocusLost();
    ButtonReaction AccessKeyPressed();
    // The cursor may have left (the window was told so, or it moved while
    // captured); overButton tells whether the window under it is the button's.
    ButtonReaction HoverCheck(bool overButton);

  private:
    ButtonPaint Paint(ButtonPicture picture);
    ButtonReaction ResetHover();

    std::wstring caption_;
    bool enabled_ = true;
    std::uint8_t firstRun_ = 0;
    std::uint32_t textColour_ = kCaptionBlack;
    std::uint32_t fontColour_ = kCaptionBlack;
    bool opaque_ = true;
    ButtonState state_ = ButtonState::Normal;
    bool mouseDown_ = false;
    bool gradientInverted_ = false;
    wchar_t accessKey_ = L'\0';
    bool hoverWatched_ = false;
};

// Pixel geometry of one paint, for a button of width x height pixels whose
// frame band is `border` pixels wide (4 at 96 DPI).
struct PixelRect {
    int x, y, width, height;
    bool operator==(const PixelRect&) const = default;
};
struct FramePiece {
    PixelRect source;      // in the 64 x 25 picture
    PixelRect destination; // in the button
};
constexpr int kPictureWidth = 64;
constexpr int kPictureHeight = 25;
constexpr int kPictureBand = 4;

std::array<FramePiece, 8> FramePieces(int width, int height, int border = kPictureBand);
// The rectangle the caption is drawn in, given the height of the wrapped
// text measured in the full-height rectangle; left, top, right, bottom.
std::array<int, 4> CaptionRect(int width, int height, int textHeight, int border = kPictureBand);
// The four focus lines (left, top, right, bottom) as start and end points;
// the end point is not drawn, as with LineTo.
struct Line {
    int x1, y1, x2, y2;
    bool operator==(const Line&) const = default;
};
std::array<Line, 4> FocusLines(int width, int height, int border = kPictureBand);
// The two gradient colours as 0x00BBGGRR, top first.
std::array<std::uint32_t, 2> GradientColours(bool inverted);

} // namespace calvorn::ui
