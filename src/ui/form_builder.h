#pragma once
// Creates a window's controls from its stored layout. Each tab of a tab
// strip gets a page window of its own that carries the controls of that tab,
// so that a tab change shows or hides one window; pages pass the commands and
// notifications of their controls on to the window. The controls of a page
// are made when the page is first shown: a start-up pays for one tab only.
//
// Each control keeps the rectangle it was laid out in and its anchors (the
// "Anchor" property: the letters L, T, R, B of the window edges it keeps its
// distance to; "LT" when missing), so that the form follows the window's size.

#include "platform/gdi_objects.h"
#include "ui/form_layout.h"
#include "ui/tab_strip_frame.h"

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace calvorn::ui {

struct Anchors {
    bool left = true;
    bool top = true;
    bool right = false;
    bool bottom = false;
};

Anchors AnchorsOf(const LayoutBlock& block);
// Where a control laid out at `design` goes when its window is `dx` pixels
// wider and `dy` higher than its stored size. An edge anchored to neither
// side of an axis keeps the control centred.
RECT Anchored(const RECT& design, Anchors anchors, int dx, int dy);

struct BuiltControl {
    LayoutBlock block; // kind, name and stored properties
    HWND hwnd = nullptr;
    int page = -1; // the tab page that carries it, -1 for the window itself
    RECT design{}; // laid out at the stored window size, in its parent's pixels
    Anchors anchors;
};

struct FormFonts {
    HFONT text = nullptr; // frames, labels, text boxes
    HFONT grid = nullptr;
};

// The window's own two fonts, which it lends the form as FormFonts.
struct OwnedFormFonts {
    platform::UniqueFont text;
    platform::UniqueFont grid;

    FormFonts Lent() const { return {text.get(), grid.get()}; }
};

// Makes the control of a "Grid" block on `parent` with `id`; the builder
// places it. A grid shows its tool tip ("ToolTipText") itself: the tip
// depends on the cell under the mouse.
using GridFactory = std::function<HWND(const LayoutBlock& block, HWND parent, int id)>;

// What a form is built from; kept, so that pages can be built later.
struct FormSource {
    HWND window = nullptr;
    UINT dpi = 96;
    std::vector<LayoutBlock> layout;
    FormFonts fonts;
    std::function<int(const std::wstring&)> idOf; // a control's id by its name
    int firstPageId = 0;
    GridFactory makeGrid;
};

struct BuiltForm {
    std::vector<BuiltControl> controls; // in layout order within each page: the tab order
    HWND tabStrip = nullptr;
    RECT tabStripDesign{};
    std::unique_ptr<TabStripFrame> tabFrame; // the strip's frame, when it has a visual style
    std::vector<HWND> pages;
    std::vector<bool> pageBuilt;
    // Fonts made for controls with a size of their own ("FontSize", in tenths
    // of a point); the window deletes them with itself.
    std::vector<platform::UniqueFont> ownFonts;
    std::vector<platform::UniqueBitmap> ownBitmaps; // the pictures shown, deleted with the window
    std::map<HWND, int> shownPictures;              // the picture each picture control shows
    HWND tooltip = nullptr;     // the tooltip of every control with a "ToolTipText"
    bool tipsShown = false;     // AddTips has run: new controls get theirs at once
    bool systemColours = false; // the controls are drawn from system colours only
    FormSource source;

    struct Container {
        HWND parent = nullptr;
        int page = -1;
        long long x = 0, y = 0; // origin in the parent, in twips
    };
    std::map<std::wstring, Container> containers;

    const BuiltControl* Find(std::wstring_view name) const;
    HWND Hwnd(std::wstring_view name) const;
};

// The stored client size of the window (the "Form" block), in twips.
SIZE StoredClientTwips(const std::vector<LayoutBlock>& layout, SIZE fallback);

// Creates the controls of `source.layout` that lie on the window itself, the
// tab strip with its pages, and the controls of page `firstPage`. Controls
// that cannot be created are left out.
BuiltForm BuildForm(FormSource source, int firstPage);
// Creates the controls of one page the first time it is asked for, placed
// for the window's present size (`dx`, `dy` as for Anchored); true when it
// built them now.
bool BuildPage(BuiltForm& form, int page, int dx, int dy);
// Shows picture `number` (a "Picture" property) on a picture control, drawn
// for the control's size; the picture it showed before is deleted.
void ShowPicture(BuiltForm& form, HWND control, int number);
// Gives every control with a "ToolTipText" its tooltip, and so each control
// made later. Left until after the first paint, which does not need them.
void AddTips(BuiltForm& form);
// Moves every control for a window `dx` and `dy` pixels larger than stored.
void ArrangeForm(const BuiltForm& form, int dx, int dy);
// The form laid out for another DPI in `fonts` made for it: every control's
// place at the stored size, its font, and the Command buttons' drawing. The
// window arranges the controls for its size afterwards; the fonts of the old
// DPI that the form made itself are deleted, the window's own are not.
void ApplyDpi(BuiltForm& form, UINT dpi, FormFonts fonts);
// The system colours, the high-contrast flag or the theme changed: frames,
// check boxes and the tab strip lose their visual style under a
// high-contrast or dark scheme (the style's text ignores the scheme) and
// get it back after; buttons and pictures are drawn again on the new face.
void FollowSystemColours(BuiltForm& form);
// Every picture shown drawn again for its control's present size and face.
void RefreshPictures(BuiltForm& form);

} // namespace calvorn::ui
