#include "ui/command_button_state.h"

namespace calvorn::ui {

std::optional<wchar_t> AccessKeyOf(const std::wstring& caption) {
    size_t amp = caption.find(L'&');
    if (amp == std::wstring::npos)
        return std::nullopt;
    return amp + 1 < caption.size() ? caption[amp + 1] : L'\0';
}

ButtonLogic::ButtonLogic() : caption_(L"Command") {
    Enabled(true);
}

ButtonReaction ButtonLogic::Caption(std::wstring value) {
    caption_ = std::move(value);
    return Redraw();
}

bool ButtonLogic::Enabled() {
    if (firstRun_ == 0) {
        firstRun_ = 1;
        enabled_ = true;
    }
    return enabled_;
}

ButtonReaction ButtonLogic::Enabled(bool value) {
    enabled_ = value;
    return Redraw();
}

void ButtonLogic::Initialize() {
    state_ = ButtonState::Normal;
    hoverWatched_ = true;
}

ButtonPaint ButtonLogic::Paint(ButtonPicture picture) {
    if (enabled_) {
        if (auto key = AccessKeyOf(caption_))
            accessKey_ = *key;
        textColour_ = kCaptionBlack;
    } else {
        state_ = ButtonState::Disabled;
        textColour_ = kCaptionGrey;
        accessKey_ = L'\0';
    }
    if (state_ == ButtonState::Hover)
        gradientInverted_ = true;
    else if (state_ == ButtonState::Normal || state_ == ButtonState::Focused)
        gradientInverted_ = false;
    return {picture, textColour_, gradientInverted_,
            state_ == ButtonState::Focused || state_ == ButtonState::FocusedHover};
}

ButtonReaction ButtonLogic::Redraw() {
    if (enabled_) {
        if (state_ == ButtonState::Disabled)
            state_ = ButtonState::Normal;
        // Always the Normal frame: a focused button shows it plus the focus rectangle.
        return {{Paint(ButtonPicture::Normal)}, false};
    }
    state_ = ButtonState::Disabled;
    return {{Paint(ButtonPicture::Disable)}, false};
}

ButtonReaction ButtonLogic::MouseMove() {
    if (!enabled_)
        return {};
    if (state_ == ButtonState::Normal) {
        state_ = ButtonState::Hover;
        return {{Paint(ButtonPicture::HighLight)}, false};
    }
    if (state_ == ButtonState::Focused && !mouseDown_) {
        state_ = ButtonState::FocusedHover;
        return {{Paint(ButtonPicture::HighLightSelect)}, false};
    }
    return {};
}

ButtonReaction ButtonLogic::MouseButtonDown(bool left) {
    if (!enabled_ || !left)
        return {};
    mouseDown_ = true;
    return {{Paint(ButtonPicture::Pressed)}, false};
}

ButtonReaction ButtonLogic::MouseButtonUp(bool left) {
    if (!enabled_)
        return {};
    ButtonReaction r;
    if (left) {
        mouseDown_ = false;
        if (state_ == ButtonState::Hover)
            r.paints.push_back(Paint(ButtonPicture::Normal));
        else if (state_ == ButtonState::FocusedHover)
            r.paints.push_back(Paint(ButtonPicture::HighLightSelect));
    }
    r.click = state_ != ButtonState::Focused && enabled_;
    return r;
}

ButtonReaction ButtonLogic::FocusGained() {
    if (!enabled_)
        return {};
    if (state_ == ButtonState::Hover) {
        state_ = ButtonState::FocusedHover;
        return {{Paint(ButtonPicture::Pressed)}, false};
    }
    state_ = ButtonState::Focused;
    return {{Paint(ButtonPicture::Selected)}, false};
}

ButtonReaction ButtonLogic::FocusLost() {
    if (!enabled_ || state_ == ButtonState::Normal)
        return {};
    state_ = ButtonState::Normal;
    return {{Paint(ButtonPicture::Normal)}, false};
}

ButtonReaction ButtonLogic::AccessKeyPressed() {
    if (!enabled_)
        return {};
    state_ = ButtonState::Hover;
    ButtonReaction r = FocusGained();
    ButtonReaction up = MouseButtonUp(true);
    r.paints.insert(r.paints.end(), up.paints.begin(), up.paints.end());
    r.click = up.click;
    return r;
}

ButtonReaction ButtonLogic::ResetHover() {
    if (state_ != ButtonState::Disabled && !enabled_) {
        state_ = ButtonState::Disabled;
        return {{Paint(ButtonPicture::Disable)}, false};
    }
    if (state_ == ButtonState::Hover) {
        state_ = ButtonState::Normal;
        return {{Paint(ButtonPicture::Normal)}, false};
    }
    if (state_ == ButtonState::FocusedHover) {
        state_ = ButtonState::Focused;
        return {{Paint(ButtonPicture::Selected)}, false};
    }
    return {};
}

ButtonReaction ButtonLogic::HoverCheck(bool overButton) {
    if (!hoverWatched_ || overButton)
        return {};
    return ResetHover();
}

std::array<FramePiece, 8> FramePieces(int w, int h, int b) {
    constexpr int pw = kPictureWidth, ph = kPictureHeight, pb = kPictureBand;
    constexpr int iw = pw - 2 * pb, ih = ph - 2 * pb;
    return {{
        {{0, 0, pb, pb}, {0, 0, b, b}},
        {{pb, 0, iw, pb}, {b, 0, w - 2 * b, b}},
        {{pw - pb, 0, pb, pb}, {w - b, 0, b, b}},
        {{pw - pb, pb, pb, ih}, {w - b, b, b, h - 2 * b}},
        {{pw - pb, ph - pb, pb, pb}, {w - b, h - b, b, b}},
        {{pb, ph - pb, iw, pb}, {b, h - b, w - 2 * b, b}},
        {{0, ph - pb, pb, pb}, {0, h - b, b, b}},
        {{0, pb, pb, ih}, {0, b, b, h - 2 * b}},
    }};
}

std::array<int, 4> CaptionRect(int w, int h, int textHeight, int b) {
    int d = h - textHeight;
    // Half of d, rounded to the nearest integer with halves going to even.
    int q = d >= 0 ? d / 2 : -((-d + 1) / 2); // floor(d / 2)
    if (d % 2 != 0 && q % 2 != 0)
        ++q;
    return {b, q, w - b, h};
}

std::array<Line, 4> FocusLines(int w, int h, int b) {
    return {{
        {b, b, b, h - b},
        {b, b, w - b, b},
        {w - b - 1, b, w - b - 1, h - b},
        {b, h - b - 1, w - b, h - b - 1},
    }};
}

std::array<std::uint32_t, 2> GradientColours(bool inverted) {
    constexpr std::uint32_t white = 0xFFFFFF;
    constexpr std::uint32_t lavender = 198u | (197u << 8) | (215u << 16);
    if (inverted)
        return {lavender, white};
    return {white, lavender};
}

} // namespace calvorn::ui
