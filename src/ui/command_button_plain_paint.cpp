// The Command button under a high-contrast or dark scheme: its pictures and
// gradient are light whatever the scheme, so it is drawn from the scheme's
// own colours instead, as the system draws its buttons then.

#include "ui/command_button.h"

#include "platform/gdi_objects.h"

#include <algorithm>

namespace calvorn::ui {

namespace {

void Frame(HDC dc, RECT r, int thickness, COLORREF colour) {
    const platform::UniqueBrush brush(::CreateSolidBrush(colour));
    if (!brush)
        return;
    for (int i = 0; i < thickness && r.right - r.left > 2 && r.bottom - r.top > 2; ++i) {
        ::FrameRect(dc, &r, brush.get());
        ::InflateRect(&r, -1, -1);
    }
}

} // namespace

void CommandButton::DrawInSystemColours(const RECT& client) {
    const ButtonPicture picture = lastPaint_.picture;
    const bool disabled = picture == ButtonPicture::Disable;
    const bool pressed = picture == ButtonPicture::Pressed;
    const bool marked = picture == ButtonPicture::HighLight ||
                        picture == ButtonPicture::HighLightSelect ||
                        picture == ButtonPicture::Selected;
    const int thin = std::max(1, Border() / 4);
    ::FillRect(memDc_.get(), &client,
               ::GetSysColorBrush(pressed ? COLOR_HIGHLIGHT : COLOR_BTNFACE));
    if (disabled)
        Frame(memDc_.get(), client, thin, ::GetSysColor(COLOR_GRAYTEXT));
    else if (marked || pressed)
        Frame(memDc_.get(), client, 2 * thin, ::GetSysColor(COLOR_HIGHLIGHT));
    else
        Frame(memDc_.get(), client, thin, ::GetSysColor(COLOR_BTNTEXT));

    DrawCaption(client, ::GetSysColor(disabled  ? COLOR_GRAYTEXT
                                      : pressed ? COLOR_HIGHLIGHTTEXT
                                                : COLOR_BTNTEXT));
}

} // namespace calvorn::ui
