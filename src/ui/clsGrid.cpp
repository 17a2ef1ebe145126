#include "ui/clsGrid.h"

namespace calvorn::ui {

void clsGrid::Init(IFlexGrid& msflex) {
    grid_ = &msflex;
    grid_->Rows(0);
    grid_->Cols(2);
}

void clsGrid::Clear() {
    headerToggle_ = false;
    if (!grid_)
        return;
    grid_->Clear();
    grid_->Rows(0);
    grid_->Cols(2);
}

void clsGrid::AppendRow() {
    int rows = grid_->Rows() + 1;
    grid_->Rows(rows);
    grid_->Row(rows - 1);
}

void clsGrid::HeadingColours(GridColor back) {
    grid_->CellBackColor(back);
    grid_->CellForeColor(kWhite);
}

void clsGrid::AddRow(const std::wstring& sCaption, const std::wstring& sText, bool bRevCol) {
    if (!grid_)
        return;
    GridColor headingBack = headerToggle_ ? kOrange : kDesktopColor;
    AppendRow();

    grid_->Col(0);
    if (bRevCol)
        HeadingColours(headingBack);
    // Set on every row, so that a width left by a message is undone.
    grid_->ColWidth(0, kLabelWidthTwips);
    grid_->ColAlignment(0, kAlignLeftCenter);
    grid_->Text(sCaption);

    grid_->Col(1);
    if (bRevCol)
        HeadingColours(headingBack);
    grid_->ColWidth(1, kValueWidthTwips);
    grid_->ColAlignment(1, kAlignLeftCenter);
    grid_->Text(sText);

    if (bRevCol)
        headerToggle_ = !headerToggle_;
}

void clsGrid::ShowMsg(const std::wstring& sMsg) {
    if (!grid_)
        return;
    Clear();
    AppendRow();
    grid_->Col(0);
    HeadingColours(kDesktopColor);
    grid_->ColWidth(0, kMessageWidthTwips);
    grid_->ColAlignment(0, kAlignLeftCenter);
    grid_->Text(sMsg);
}

} // namespace calvorn::ui
