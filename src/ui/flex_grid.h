#pragma once
// The grid operations the report presenter drives: a two-column grid of
// cells with a current cell, per-cell colours and per-column width and
// alignment. The list-view adapter serves them; tests use a fake.

#include <cstdint>
#include <string>

namespace calvorn::ui {

// Colours in 0x00BBGGRR; a value with the top bit set names a system colour
// by its index (0x80000001 is the desktop colour), as the grid encodes them.
using GridColor = std::uint32_t;
constexpr GridColor kDesktopColor = 0x80000001u;

class IFlexGrid {
  public:
    virtual ~IFlexGrid() = default;
    virtual int Rows() const = 0;
    virtual void Rows(int count) = 0;
    virtual void Cols(int count) = 0;
    virtual int Row() const = 0;
    virtual void Row(int row) = 0;
    virtual int Col() const = 0;
    virtual void Col(int col) = 0;
    virtual std::wstring Text() const = 0;
    virtual void Text(const std::wstring& text) = 0;
    virtual void CellBackColor(GridColor color) = 0;
    virtual void CellForeColor(GridColor color) = 0;
    virtual void ColAlignment(int col, int alignment) = 0;
    virtual void ColWidth(int col, int twips) = 0;
    virtual void Clear() = 0;
    // Holds the grid's drawing and layout (false) and lets it catch up (true).
    virtual void Redraw(bool /*on*/) {}
};

} // namespace calvorn::ui
