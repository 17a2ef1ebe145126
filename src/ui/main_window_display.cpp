// The main window following the display: a move to a monitor of another
// DPI, and a change of the system colours, the high-contrast flag or the
// theme.

#include "ui/main_window.h"

#include "ui/system_colours.h"

namespace calvorn::ui {

namespace {

// The stored layout's client size when it names none, in twips.
constexpr SIZE kClientTwips{9600, 7500};

} // namespace

LRESULT MainWindow::OnDisplayChange(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_DPICHANGED:
        OnDpiChanged(LOWORD(wp), reinterpret_cast<const RECT*>(lp));
        return 0;
    case WM_SETTINGCHANGE:
        // Most settings leave the drawing as it is; the high-contrast flag,
        // or a scheme that turned dark or light with it, does not.
        if (wp == SPI_SETHIGHCONTRAST || DrawWithSystemColours() != form_.systemColours)
            OnSchemeChanged();
        return DefaultProc(msg, wp, lp);
    case WM_SYSCOLORCHANGE:
    case WM_THEMECHANGED:
        OnSchemeChanged();
        return DefaultProc(msg, wp, lp);
    case WM_NCDESTROY:
        TopLevelDpi(Hwnd(), 0);
        return DefaultProc(msg, wp, lp);
    default:
        return DefaultProc(msg, wp, lp);
    }
}

SIZE MainWindow::DesignClientAt(const std::vector<LayoutBlock>& layout, UINT dpi) {
    const SIZE twips = StoredClientTwips(layout, kClientTwips);
    return {TwipsToPixels(twips.cx, dpi), TwipsToPixels(twips.cy, dpi)};
}

OwnedFormFonts MainWindow::FontsAt(UINT dpi) {
    return {UiFont(dpi, L"Arial", 90), UiFont(dpi, L"Tahoma", 83)};
}

void MainWindow::OnDpiChanged(UINT dpi, const RECT* suggested) {
    if (dpi == 0 || !form_.tabStrip)
        return;
    OwnedFormFonts fonts = FontsAt(dpi);
    // Without fonts for the new DPI the window keeps its layout.
    if (!fonts.text || !fonts.grid)
        return;
    TopLevelDpi(Hwnd(), dpi);
    ApplyDpi(form_, dpi, fonts.Lent());
    // The old fonts go once no control uses them.
    fonts_ = std::move(fonts);
    designClient_ = DesignClientAt(form_.source.layout, dpi);
    // Placed again whatever the new size: every place changed with the DPI.
    arranged_ = {-1, -1};
    if (suggested)
        ::SetWindowPos(Hwnd(), nullptr, suggested->left, suggested->top,
                       suggested->right - suggested->left, suggested->bottom - suggested->top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    OnSize();
    for (ListViewGrid* grid : {&reportGrid_, &comparisonGrid_})
        grid->Rescale(dpi);
    RefreshPictures(form_);
    ::RedrawWindow(Hwnd(), nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void MainWindow::OnSchemeChanged() {
    if (!form_.tabStrip)
        return;
    for (ListViewGrid* grid : {&reportGrid_, &comparisonGrid_})
        grid->FollowSystemColours();
    FollowSystemColours(form_);
    // The tab strip's frame may have been cut or made whole.
    arranged_ = {-1, -1};
    OnSize();
    ::RedrawWindow(Hwnd(), nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

} // namespace calvorn::ui
