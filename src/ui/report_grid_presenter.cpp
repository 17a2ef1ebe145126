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
    columns_ = 2;
    for (int col = 0; col < 3; ++col) {
        width_[col] = -1;
        aligned_[col] = false;
    }
    if (!grid_)
        return;
    grid_->Clear();
    grid_->Rows(0);
    grid_->Cols(2);
}

void ReportGridPresenter::Columns(int count) {
    if (columns_ == count)
        return;
    columns_ = count;
    grid_->Cols(count);
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
    if (width_[col] != widthTwips || col == columns_ - 1) {
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

void ReportGridPresenter::AddRow(const std::wstring& caption, const std::wstring& text,
                                 bool heading) {
    if (!grid_)
        return;
    GridColor headingBack = headerToggle_ ? kOrange : kDesktopColor;
    AppendRow();

    grid_->Col(0);
    if (heading)
        HeadingColours(headingBack);
    // Set for every report, so that a width left by a message is undone.
    Column(0, kLabelWidthTwips);
    grid_->Text(caption);

    grid_->Col(1);
    if (heading)
        HeadingColours(headingBack);
    Column(1, kValueWidthTwips);
    grid_->Text(text);

    if (columns_ > 2) {
        grid_->Col(2);
        if (heading)
            HeadingColours(headingBack);
        Column(2, kValueWidthTwips);
    }

    if (heading)
        headerToggle_ = !headerToggle_;
}

void ReportGridPresenter::AddComparedRow(const std::wstring& caption, const std::wstring& first,
                                         const std::wstring& second, bool differs) {
    if (!grid_)
        return;
    Columns(3);
    AppendRow();
    const std::wstring* texts[] = {&caption, &first, &second};
    for (int col = 0; col < 3; ++col) {
        grid_->Col(col);
        if (differs)
            grid_->CellBackColor(kDiffersBack);
        Column(col, col == 0 ? kLabelWidthTwips : kValueWidthTwips);
        grid_->Text(col == 0 && differs ? kDiffersMark + caption : *texts[col]);
    }
}

void ReportGridPresenter::ShowMsg(const std::wstring& message) {
    if (!grid_)
        return;
    Clear();
    AppendRow();
    grid_->Col(0);
    HeadingColours(kDesktopColor);
    Column(0, kMessageWidthTwips);
    grid_->Text(message);
}

} // namespace calvorn::ui
