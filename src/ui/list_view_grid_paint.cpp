// The grid's colours and custom drawing: each cell in its own colours, and
// the rows that span both columns drawn over the control's own painting.

#include "ui/list_view_grid.h"

#include "platform/gdi_objects.h"

#include "ui/system_colours.h"
#include "ui/window.h"

#include <algorithm>

namespace calvorn::ui {

namespace {

// Where a spanning row's text starts, after the left edge of its label.
constexpr int kSpanTextInsetPixels = 5;
// The least contrast between a heading band and the rows that keeps the band
// visible as a band.
constexpr double kHeadingContrast = 1.5;

} // namespace

COLORREF ResolveGridColor(GridColor color) {
    if (color & 0x80000000u)
        return ::GetSysColor(static_cast<int>(color & 0xFFu));
    return static_cast<COLORREF>(color & 0x00FFFFFFu);
}

COLORREF ContrastingText(COLORREF back) {
    // The contrast ratio of black and of white against the colour; the
    // higher one wins.
    const COLORREF white = RGB(255, 255, 255), black = RGB(0, 0, 0);
    return ContrastRatio(white, back) >= ContrastRatio(black, back) ? white : black;
}

ListViewGrid::Paint ListViewGrid::PaintOf(int row, int col) const {
    Paint paint{::GetSysColor(COLOR_WINDOW), ::GetSysColor(COLOR_WINDOWTEXT)};
    if (row < 0 || col < 0 || static_cast<size_t>(row) >= colours_.size())
        return paint;
    const auto& cells = colours_[static_cast<size_t>(row)];
    if (static_cast<size_t>(col) >= cells.size())
        return paint;
    const CellColours& cell = cells[static_cast<size_t>(col)];
    if (cell.back)
        paint.back = ResolveGridColor(*cell.back);
    if (cell.fore)
        paint.fore = ResolveGridColor(*cell.fore);
    // The user picks the system colours, the desktop's among them: text set
    // on one of them is black or white, whichever stays readable.
    if (cell.back && (*cell.back & 0x80000000u) && cell.fore)
        paint.fore = ContrastingText(paint.back);
    // Under high contrast a heading band is drawn in the rows' colours
    // inverted, which the scheme makes readable and no selection uses; so is
    // one that would vanish into the rows of a dark scheme (a black desktop
    // on black rows). A light scheme keeps the desktop's band, whatever it is.
    if (cell.back && (HighContrastOn() ||
                      (SystemColoursDark() &&
                       ContrastRatio(paint.back, ::GetSysColor(COLOR_WINDOW)) < kHeadingContrast)))
        paint = {::GetSysColor(COLOR_WINDOWTEXT), ::GetSysColor(COLOR_WINDOW)};
    return paint;
}

void ListViewGrid::PaintSpanningRows(HDC dc) const {
    const int rows = Rows();
    if (rows == 0)
        return;
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    const int first = ListView_GetTopIndex(hwnd_);
    const int last = std::min(rows - 1, first + ListView_GetCountPerPage(hwnd_));
    const int inset = ::MulDiv(kSpanTextInsetPixels, static_cast<int>(WindowDpi(hwnd_)), 96);
    auto font = reinterpret_cast<HFONT>(::SendMessageW(hwnd_, WM_GETFONT, 0, 0));
    const platform::SelectedObject chosenFont(dc, font);
    const int oldMode = ::SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColour = ::GetTextColor(dc);
    const COLORREF oldBack = ::GetBkColor(dc);
    const bool focused = ::GetFocus() == hwnd_;
    for (int row = std::max(first, 0); row <= last; ++row) {
        if (!Spans(row))
            continue;
        RECT band{};
        RECT label{};
        if (!ListView_GetItemRect(hwnd_, row, &band, LVIR_BOUNDS) ||
            !ListView_GetSubItemRect(hwnd_, row, 0, LVIR_LABEL, &label))
            continue;
        band.right = std::max(band.right, client.right);
        Paint paint = PaintOf(row, 0);
        if (ListView_GetItemState(hwnd_, row, LVIS_SELECTED) & LVIS_SELECTED)
            paint = {::GetSysColor(COLOR_HIGHLIGHT), ::GetSysColor(COLOR_HIGHLIGHTTEXT)};
        if (const platform::UniqueBrush brush(::CreateSolidBrush(paint.back)); brush)
            ::FillRect(dc, &band, brush.get());
        const std::wstring text = CellText(row, 0);
        RECT textRect = band;
        textRect.left = label.left + inset;
        textRect.right -= inset;
        ::SetTextColor(dc, paint.fore);
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
                    DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
        // The band covers the control's own focus mark: it is drawn again.
        if (focused && (ListView_GetItemState(hwnd_, row, LVIS_FOCUSED) & LVIS_FOCUSED)) {
            ::SetTextColor(dc, RGB(0, 0, 0));
            ::SetBkColor(dc, RGB(255, 255, 255));
            ::DrawFocusRect(dc, &band);
        }
    }
    ::SetTextColor(dc, oldColour);
    ::SetBkColor(dc, oldBack);
    ::SetBkMode(dc, oldMode);
}

LRESULT ListViewGrid::CustomDraw(NMLVCUSTOMDRAW& draw) const {
    switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT;
    case CDDS_POSTPAINT:
        // After the grid lines, so that no line crosses a band.
        PaintSpanningRows(draw.nmcd.hdc);
        return CDRF_DODEFAULT;
    case CDDS_ITEMPREPAINT:
        return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
        // Every cell gets its colours, default ones included: the control
        // otherwise carries the last cell's colours into the next.
        Paint paint = PaintOf(static_cast<int>(draw.nmcd.dwItemSpec), draw.iSubItem);
        draw.clrTextBk = paint.back;
        draw.clrText = paint.fore;
        return CDRF_NEWFONT;
    }
    default:
        return CDRF_DODEFAULT;
    }
}

} // namespace calvorn::ui
