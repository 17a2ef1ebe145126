#include "ui/report_grid_presenter.h"

namespace calvorn::ui {

void ReportGridPresenter::Init(IFlexGrid& msflex) {
    grid_ = &msflex;
    grid_->Rows(0);
    grid_->Cols(2);
}

void ReportGridPresenter::BeginUpdate() {
    if (grid_)
        grid_->Redraw(false);
}

void ReportGridPresenter::EndUpdate() {
    if (grid_)
        grid_->Redraw(true);
}

void ReportGridPresenter::Clear() {
    headerToggle_ = false;
    width_[0] = width_[1] = -1;
    aligned_[0] = aligned_[1] = false;
    if (!grid_)
        return;
    grid_->Clear();
    grid_->Rows(0);
    grid_->Cols(2);
}

void ReportGridPresenter::AppendRow() {
    int rows = grid_->Rows() + 1;
    grid_->Rows(rows);
    grid_->Row(rows - 1);
}

void ReportGridPresenter::Column(int col, int widthTwips) {
    // The value column is the grid's last: setting its width also fits it to
    // the grid, which a new row's scroll bar may have narrowed. So it is set
    // on every row.
    if (width_[col] != widthTwips || col == 1) {
        grid_->ColWidth(col, widthTwips);
        width_[col] = widthTwips;
    }
    if (!aligned_[col]) {
        grid_->ColAlignment(col, kAlignLeftCenter);
        aligned_[col] = true;
    }
}

void ReportGridPresenter::HeadingColours(GridColor back) {
    grid_->CellBackColor(back);
    grid_->CellForeColor(kWhite);
}

void ReportGridPresenter::AddRow(const std::wstring& sCaption, const std::wstring& sText, bool bRevCol) {
    if (!grid_)
        return;
    GridColor headingBack = headerToggle_ ? kOrange : kDesktopColor;
    AppendRow();

    grid_->Col(0);
    if (bRevCol)
        HeadingColours(headingBack);
    // Set for every report, so that a width left by a message is undone.
    Column(0, kLabelWidthTwips);
    grid_->Text(sCaption);

    grid_->Col(1);
    if (bRevCol)
        HeadingColours(headingBack);
    Column(1, kValueWidthTwips);
    grid_->Text(sText);

    if (bRevCol)
        headerToggle_ = !headerToggle_;
}

void ReportGridPresenter::ShowMsg(const std::wstring& sMsg) {
    if (!grid_)
        return;
    Clear();
    AppendRow();
    grid_->Col(0);
    HeadingColours(kDesktopColor);
    Column(0, kMessageWidthTwips);
    grid_->Text(sMsg);
}

} // namespace calvorn::ui
