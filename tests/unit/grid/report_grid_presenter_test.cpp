// The report presenter against a grid that records what it is told.

#include "ui/report_grid_presenter.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <utility>

using namespace calvorn::ui;

namespace {

struct Cell {
    std::wstring text;
    std::optional<GridColor> back;
    std::optional<GridColor> fore;
};

class FakeGrid final : public IFlexGrid {
  public:
    int Rows() const override { return rows; }
    void Rows(int count) override {
        rows = count;
        std::erase_if(cells, [&](const auto& c) { return c.first.first >= count; });
    }
    void Cols(int count) override { cols = count; }
    int Row() const override { return row; }
    void Row(int r) override { row = r; }
    int Col() const override { return col; }
    void Col(int c) override { col = c; }
    std::wstring Text() const override {
        auto it = cells.find({row, col});
        return it == cells.end() ? L"" : it->second.text;
    }
    void Text(const std::wstring& text) override { cells[{row, col}].text = text; }
    void CellBackColor(GridColor color) override { cells[{row, col}].back = color; }
    void CellForeColor(GridColor color) override { cells[{row, col}].fore = color; }
    void ColAlignment(int c, int alignment) override {
        alignments[c] = alignment;
        ++alignmentSets[c];
    }
    void ColWidth(int c, int twips) override {
        widths[c] = twips;
        ++widthSets[c];
    }
    void Clear() override {
        for (auto& [key, cell] : cells)
            cell = {};
        ++clears;
    }

    Cell At(int r, int c) const {
        auto it = cells.find({r, c});
        return it == cells.end() ? Cell{} : it->second;
    }

    int rows = 7;
    int cols = 5;
    int row = 0;
    int col = 0;
    int clears = 0;
    std::map<std::pair<int, int>, Cell> cells;
    std::map<int, int> alignments;
    std::map<int, int> widths;
    std::map<int, int> alignmentSets, widthSets;
};

} // namespace

TEST(ReportGridPresenter, InitLeavesAnEmptyGridOfTwoColumns) {
    FakeGrid grid;
    ReportGridPresenter presenter;
    presenter.Init(grid);
    EXPECT_EQ(grid.rows, 0);
    EXPECT_EQ(grid.cols, 2);
}

TEST(ReportGridPresenter, HeadingsAlternateDesktopOrangeDesktopAndOrdinaryRowsKeepDefaults) {
    FakeGrid grid;
    ReportGridPresenter presenter;
    presenter.Init(grid);
    presenter.Clear();
    presenter.AddRow(L"TypeLib Info", L"", true);
    presenter.AddRow(L"GUID:", L"{x}", false);
    presenter.AddRow(L"File Info", L"", true);
    presenter.AddRow(L"CompanyName: ", L"Acme", false);
    presenter.AddRow(L"Extended File Info", L"", true);

    ASSERT_EQ(grid.rows, 5);
    const GridColor expected[] = {kDesktopColor, 0, kOrange, 0, kDesktopColor};
    for (int r = 0; r < 5; ++r) {
        for (int c = 0; c < 2; ++c) {
            Cell cell = grid.At(r, c);
            if (expected[r] == 0) {
                EXPECT_FALSE(cell.back.has_value()) << r;
                EXPECT_FALSE(cell.fore.has_value()) << r;
            } else {
                EXPECT_EQ(cell.back, expected[r]) << r << "," << c;
                EXPECT_EQ(cell.fore, kWhite) << r << "," << c;
            }
        }
    }
    EXPECT_EQ(grid.At(1, 0).text, L"GUID:");
    EXPECT_EQ(grid.At(1, 1).text, L"{x}");
    EXPECT_EQ(grid.At(3, 1).text, L"Acme");
    EXPECT_EQ(grid.widths[0], 2000);
    EXPECT_EQ(grid.widths[1], 4200);
    EXPECT_EQ(grid.alignments[0], 1);
    EXPECT_EQ(grid.alignments[1], 1);
}

TEST(ReportGridPresenter, ClearRestartsTheAlternationAndEmptiesTheGrid) {
    FakeGrid grid;
    ReportGridPresenter presenter;
    presenter.Init(grid);
    presenter.AddRow(L"A", L"", true);
    presenter.Clear();
    EXPECT_EQ(grid.rows, 0);
    EXPECT_EQ(grid.cols, 2);
    EXPECT_GE(grid.clears, 1);
    presenter.AddRow(L"B", L"", true);
    EXPECT_EQ(grid.At(0, 0).back, kDesktopColor);
}

TEST(ReportGridPresenter, MessageTakesAWideFirstColumnAndTheNextHeadingStartsAtDesktop) {
    FakeGrid grid;
    ReportGridPresenter presenter;
    presenter.Init(grid);
    presenter.AddRow(L"First", L"", true); // the next heading would be orange
    presenter.ShowMsg(L"At least of the files is not a valid ActiveX file!");
    ASSERT_EQ(grid.rows, 1);
    EXPECT_EQ(grid.At(0, 0).text, L"At least of the files is not a valid ActiveX file!");
    EXPECT_EQ(grid.At(0, 0).back, kDesktopColor);
    EXPECT_EQ(grid.At(0, 0).fore, kWhite);
    EXPECT_EQ(grid.At(0, 1).text, L"");
    EXPECT_EQ(grid.widths[0], 20000);

    presenter.AddRow(L"Heading", L"", true);
    ASSERT_EQ(grid.rows, 2);
    EXPECT_EQ(grid.At(1, 0).back, kDesktopColor);
    EXPECT_EQ(grid.widths[0], 2000);
}

TEST(ReportGridPresenter, ColumnsAreSetOncePerReportButTheValueColumnIsFittedOnEveryRow) {
    // Every setting makes the grid lay itself out again.
    FakeGrid grid;
    ReportGridPresenter presenter;
    presenter.Init(grid);
    for (int i = 0; i < 3; ++i)
        presenter.AddRow(L"Label", L"Value", i == 0);
    EXPECT_EQ(grid.widthSets[0], 1);
    EXPECT_EQ(grid.alignmentSets[0], 1);
    EXPECT_EQ(grid.alignmentSets[1], 1);
    EXPECT_EQ(grid.widthSets[1], 3); // a new row's scroll bar may narrow the grid
    presenter.Clear();
    presenter.AddRow(L"Label", L"Value", false);
    EXPECT_EQ(grid.widthSets[0], 2);
    EXPECT_EQ(grid.alignmentSets[0], 2);
}

// Before the window binds a grid, the report's calls are dropped whole: none
// of them leaves a heading colour turned or a third column behind for the grid
// bound later.
TEST(ReportGridPresenter, UnboundPresenterDoesNothing) {
    ReportGridPresenter presenter;
    presenter.Clear();
    presenter.BeginUpdate();
    presenter.AddRow(L"A", L"B", true);
    presenter.AddComparedRow(L"Size:", L"1", L"2", true);
    presenter.ShowMsg(L"C");
    presenter.EndUpdate();
    FakeGrid grid;
    presenter.Init(grid);
    presenter.AddRow(L"Heading", L"", true);
    ASSERT_EQ(grid.rows, 1);
    EXPECT_EQ(grid.cols, 2);
    EXPECT_EQ(grid.At(0, 0).back, kDesktopColor);
    EXPECT_EQ(grid.At(0, 0).text, L"Heading");
}

// Compared rows take a third column: the label and the two files' values; a
// row whose values differ is marked in its label and by its colour. Clearing
// brings the grid back to two columns.
TEST(ReportGridPresenter, ComparedRowsStandSideBySideAndDifferencesAreMarked) {
    FakeGrid grid;
    ReportGridPresenter presenter;
    presenter.Init(grid);
    presenter.AddRow(L"File Comparison", L"", true);
    presenter.AddComparedRow(L"Size:", L"10", L"10", false);
    presenter.AddComparedRow(L"FileVersion:", L"1.2", L"9.9.9.9", true);
    ASSERT_EQ(grid.rows, 3);
    EXPECT_EQ(grid.cols, 3);
    EXPECT_EQ(grid.At(1, 0).text, L"Size:");
    EXPECT_EQ(grid.At(1, 2).text, L"10");
    EXPECT_FALSE(grid.At(1, 1).back.has_value());
    EXPECT_EQ(grid.At(2, 0).text, std::wstring(kDiffersMark) + L"FileVersion:");
    EXPECT_EQ(grid.At(2, 1).text, L"1.2");
    EXPECT_EQ(grid.At(2, 2).text, L"9.9.9.9");
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(grid.At(2, c).back, kDiffersBack) << c;
    // The last column is fitted on every row, as the value column is.
    EXPECT_EQ(grid.widthSets[2], 2);
    // A heading after them spans the three columns.
    presenter.AddRow(L"Next", L"", true);
    EXPECT_EQ(grid.At(3, 2).back, kOrange);
    presenter.Clear();
    EXPECT_EQ(grid.cols, 2);
}
