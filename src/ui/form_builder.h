#pragma once
// Creates a window's controls from its stored layout. Each tab of a tab
// strip gets a page window of its own that carries the controls of that tab,
// so that a tab change shows or hides one window; pages pass the commands and
// notifications of their controls on to the window.

#include "ui/form_layout.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace calvorn::ui {

struct BuiltControl {
    LayoutBlock block; // kind, name and stored properties
    HWND hwnd = nullptr;
    int page = -1; // the tab page that carries it, -1 for the window itself
};

struct BuiltForm {
    std::vector<BuiltControl> controls; // in layout order, which is the tab order
    HWND tabStrip = nullptr;
    std::vector<HWND> pages;
    // Fonts made for controls with a size of their own ("FontSize", in tenths
    // of a point); the window deletes them with itself.
    std::vector<HFONT> ownFonts;

    const BuiltControl* Find(std::wstring_view name) const;
    HWND Hwnd(std::wstring_view name) const;
};

struct FormFonts {
    HFONT text = nullptr; // frames, labels, text boxes
    HFONT grid = nullptr;
};

// The stored client size of the window (the "Form" block), in twips.
SIZE StoredClientTwips(const std::vector<LayoutBlock>& layout, SIZE fallback);

// Makes the control of a "Grid" block on `parent` with `id`; the builder
// places it. A grid shows its tool tip ("ToolTipText") itself: the tip
// depends on the cell under the mouse.
using GridFactory = std::function<HWND(const LayoutBlock& block, HWND parent, int id)>;

// Creates every control of `layout` on `window` at `dpi`; `idOf` gives each
// control's id by its name. Controls that cannot be created are left out.
BuiltForm BuildForm(HWND window, UINT dpi, const std::vector<LayoutBlock>& layout,
                    const FormFonts& fonts, const std::function<int(const std::wstring&)>& idOf,
                    int firstPageId, const GridFactory& makeGrid);

} // namespace calvorn::ui
