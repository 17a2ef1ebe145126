#pragma once
// The themed frame of the tab strip's pages, drawn at the cost of its edges.
//
// The visual style draws a tab control's frame by stretching one picture over
// the whole control, and Wine does that at about half a microsecond per pixel
// whatever is clipped: for this window, 150 ms of every paint of the strip,
// the first paint included. So the control is made only as tall as its tabs
// and the top of the frame, which it still draws itself (the selected tab
// joins the frame there); the frame's sides and bottom, around and below the
// pages, are cut from a small rendering of the same picture and drawn by the
// control (the rows it still covers) and by its parent (the rest).
//
// Without a visual style the control draws a plain edge at no such cost and
// keeps its whole size: Attach then declines.

#include "platform/gdi_objects.h"
#include "ui/replaced_procedure.h"

#include <windows.h>

#include <uxtheme.h>

#include <memory>

namespace calvorn::ui {

class TabStripFrame {
  public:
    // Takes over the frame of `tabStrip`, which already holds its tabs;
    // empty when the control has no visual style.
    static std::unique_ptr<TabStripFrame> Attach(HWND tabStrip);
    ~TabStripFrame();
    TabStripFrame(const TabStripFrame&) = delete;
    TabStripFrame& operator=(const TabStripFrame&) = delete;

    // Lays the strip out over `whole` (the control's full extent, in its
    // parent's pixels): the control takes the top of it.
    void Place(const RECT& whole);
    // The parent's share of the frame, from its paint.
    void PaintInParent(HDC dc) const;

    // The frame's sides and bottom for a frame from `left` to `right` ending
    // at `bottom`, from row `top` down (any rows above belong to the control).
    // Open for tests, which hold it against the style's own drawing.
    void PaintSidesAndBottom(HDC dc, int left, int top, int right, int bottom) const;
    // The style's own frame drawn over `r`, as the control draws it.
    static bool PaintWhole(HWND tabStrip, HDC dc, const RECT& r);

  private:
    explicit TabStripFrame(HWND tabStrip) : hwnd_(tabStrip) {}
    static LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    bool Render();
    void Release();
    void OnPaint();
    // Where the pages start, from the control's top: the rows above are the
    // control's own drawing.
    int PagesTop() const;

    HWND hwnd_ = nullptr;
    ReplacedProcedure procedure_; // ControlProc in the control's place
    RECT whole_{};
    // The picture drawn small, and its sizing margins.
    platform::UniqueBitmap bitmap_;
    platform::UniqueMemoryDc dc_;
    platform::SelectedObject selected_; // bitmap_ in dc_
    SIZE size_{};
    MARGINS margins_{};
};

} // namespace calvorn::ui
