#pragma once
// Writes reports into a grid as two-column rows, with alternating colours
// for section headings.

#include "inspection/report_presenter.h"
#include "ui/flex_grid.h"

namespace calvorn::ui {

// Orange in the grid's 0x00BBGGRR encoding (red 252, green 156, blue 27).
constexpr GridColor kOrange = 0x1B9CFCu;
constexpr GridColor kWhite = 0xFFFFFFu;
// A light red behind the cells of a compared row whose values differ.
constexpr GridColor kDiffersBack = 0xC8C8FFu;
// Before the label of such a row, for whoever does not see the colour (or
// copies the text).
inline constexpr wchar_t kDiffersMark[] = L"* ";
constexpr int kLabelWidthTwips = 2000;
constexpr int kValueWidthTwips = 4200;
constexpr int kMessageWidthTwips = 20000;
// Left-aligned, vertically centred.
constexpr int kAlignLeftCenter = 1;

class ReportGridPresenter final : public inspection::IReportPresenter {
  public:
    void Init(IFlexGrid& msflex);
    void Clear() override;
    void AddRow(const std::wstring& caption, const std::wstring& text, bool heading) override;
    void ShowMsg(const std::wstring& message) override;
    void AddComparedRow(const std::wstring& caption, const std::wstring& first,
                        const std::wstring& second, bool differs) override;
    void BeginUpdate() override;
    void EndUpdate() override;

  private:
    void AppendRow();
    void HeadingColours(GridColor back);
    // Sets a column's width and alignment unless they are set so already:
    // each setting makes the grid lay itself out again.
    void Column(int col, int widthTwips);
    // Compared rows need a third column; a cleared grid has two.
    void Columns(int count);

    IFlexGrid* grid_ = nullptr;
    bool headerToggle_ = false;
    // What this presenter last set since the grid was cleared; -1: not known.
    int columns_ = 2;
    int width_[3] = {-1, -1, -1};
    bool aligned_[3] = {false, false, false};
};

} // namespace calvorn::ui
