#pragma once
// The report grid served by the system's list-view control in report mode.
// Rows are real list-view items, so that assistive tools read them; cell
// colours live here and are painted through custom draw. The parent window
// forwards WM_NOTIFY to OnNotify: the control answers its own notifications
// and those of its tooltip.
//
// A row whose value cell is empty is drawn across the whole row when it is a
// heading (a band of its colour from edge to edge) or when its label does
// not fit the first column, so that a heading or a verdict is never cut.
// Hovering a cell whose text does not fit shows that text in the tooltip;
// other cells show the grid's own tip.

#include "ui/flex_grid.h"
#include "ui/replaced_procedure.h"

#include <windows.h>

#include <commctrl.h>

#include <optional>
#include <string>
#include <vector>

namespace calvorn::ui {

class ListViewGrid final : public IFlexGrid {
  public:
    ListViewGrid() = default;
    ~ListViewGrid();
    ListViewGrid(const ListViewGrid&) = delete;
    ListViewGrid& operator=(const ListViewGrid&) = delete;

    // Creates the control as a visible child of `parent`; false when the
    // system refuses. The parent destroys it with itself.
    bool Create(HWND parent, int id);
    HWND Hwnd() const { return hwnd_; }
    // The tip shown over cells whose text fits (and over the empty area).
    void ToolTip(const std::wstring& text) { genericTip_ = text; }
    // Makes the tooltip window, once; left until after the window's first
    // paint, which does not need it.
    void ShowTips();
    HWND ToolTipHwnd() const { return tip_; }
    // The text the tooltip shows over a cell: the cell's whole text when it
    // does not fit where it is drawn, otherwise the grid's own tip.
    std::wstring TipTextAt(int row, int col) const;
    // Whether a row is drawn across both columns.
    bool Spans(int row) const;

    // A notification the parent received; true (with the result to return)
    // when it came from this control and was handled here.
    bool OnNotify(NMHDR* header, LRESULT& result);

    // The last column takes the width the others leave, never less than
    // its own width as last set.
    void FitLastColumn();
    // Held (false), the control neither draws nor lays out its rows and
    // columns; let go (true), it catches up once. Holds nest.
    void Redraw(bool on) override;

    // The grid laid out for another DPI, after its font and size: its
    // columns as wide as the grid started there would make them.
    void Rescale(UINT toDpi);
    // The rows take the system colours as they are now.
    void FollowSystemColours();

    // The selected rows, or every row when none is selected: cells separated
    // by tabs, rows ended by CR LF.
    std::wstring CopyText() const;
    // Puts CopyText on the clipboard as Unicode text (what Ctrl+C does).
    bool CopyToClipboard() const;

    // The colours a cell is painted in (0x00BBGGRR, system colours resolved).
    struct Paint {
        COLORREF back;
        COLORREF fore;
    };
    Paint PaintOf(int row, int col) const;

    int Rows() const override;
    void Rows(int count) override;
    void Cols(int count) override;
    int Row() const override { return row_; }
    void Row(int row) override;
    int Col() const override { return col_; }
    void Col(int col) override;
    std::wstring Text() const override;
    void Text(const std::wstring& text) override;
    void CellBackColor(GridColor color) override;
    void CellForeColor(GridColor color) override;
    void ColAlignment(int col, int alignment) override;
    void ColWidth(int col, int twips) override;
    void Clear() override;

  private:
    struct CellColours {
        std::optional<GridColor> back;
        std::optional<GridColor> fore;
    };
    int ColumnCount() const;
    std::wstring CellText(int row, int col) const;
    CellColours* Current();
    void ResizeColours();
    LRESULT CustomDraw(NMLVCUSTOMDRAW& draw) const;
    void PaintSpanningRows(HDC dc) const;
    bool IsHeading(int row) const;
    int TextWidth(const std::wstring& text) const;
    int ColumnWidth(int col) const;
    bool Fits(const std::wstring& text, int width) const;
    void OnMouseMove(POINT at);
    // A grid that gets the focus shows where it is: the first row takes the
    // focus mark when no row has it.
    void MarkFocusedRow();
    // The control works out its rows' size and its scroll bars when it
    // paints; a paint into memory makes it do so now.
    void LayOutRows() const;
    static LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

    HWND hwnd_ = nullptr;
    HWND tip_ = nullptr;
    ReplacedProcedure procedure_; // ControlProc in the control's place
    std::wstring genericTip_;
    std::wstring shownTip_; // kept alive for the tooltip while it shows it
    int hoverRow_ = -1;     // the cell under the mouse
    int hoverCol_ = -1;
    int lastColumnWidth_ = 0;     // pixels, as last set
    std::vector<int> widthTwips_; // each column's width as last set, in twips
    int held_ = 0;
    int row_ = 0;
    int col_ = 0;
    std::vector<std::vector<CellColours>> colours_; // [row][col]
};

// A grid colour as a COLORREF: values with the top bit set name a system
// colour by its index.
COLORREF ResolveGridColor(GridColor color);
// Black or white, whichever reads better on `back`.
COLORREF ContrastingText(COLORREF back);

} // namespace calvorn::ui
