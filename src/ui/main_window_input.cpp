// The main window's keyboard and mouse beyond the controls' own: the grid's
// cells shown whole, tab steps, access keys and the tab pictures.

#include "ui/main_window.h"

#include "ui/cell_text_window.h"

#include <commctrl.h>

#include <cmath>
#include <cwchar>

namespace calvorn::ui {

void MainWindow::GridDoubleClick(ListViewGrid& grid, POINT at) {
    // The cell under the mouse becomes the current cell, column first, then
    // row; no cell there (an empty grid) ends the handler without a window.
    LVHITTESTINFO hit{};
    hit.pt = at;
    if (::SendMessageW(grid.Hwnd(), LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)) < 0 ||
        hit.iItem < 0 || hit.iSubItem < 0)
        return;
    ShowCell(grid, hit.iItem, hit.iSubItem);
}

void MainWindow::ShowCell(ListViewGrid& grid, int row, int col) {
    grid.Col(col);
    grid.Row(row);
    if (grid.Row() != row || grid.Col() != col)
        return;
    const std::wstring text = grid.Text();
    CellTextWindow& display = DisplayWindow();
    if (!display.Load(Hwnd()))
        return;
    display.Text(text);
    display.ShowModal();
}

bool MainWindow::TakeKey(const MSG& msg) {
    const bool ctrl = ::GetKeyState(VK_CONTROL) < 0;
    const bool shift = ::GetKeyState(VK_SHIFT) < 0;
    // F1 from any control of the window, also one that would take the key.
    if (msg.wParam == VK_F1 && !ctrl && !shift)
        return OnHelp(WM_HELP, 0);
    if (ctrl && (msg.wParam == VK_TAB || msg.wParam == VK_NEXT || msg.wParam == VK_PRIOR)) {
        StepTab(msg.wParam == VK_PRIOR || (msg.wParam == VK_TAB && shift) ? -1 : 1);
        return true;
    }
    if (msg.wParam != VK_RETURN || ctrl)
        return false;
    // Enter on a grid row shows its value as a double-click would; a row
    // without a value (a heading) shows its label.
    for (ListViewGrid* grid : {&reportGrid_, &comparisonGrid_}) {
        if (!grid->Hwnd() || msg.hwnd != grid->Hwnd())
            continue;
        int row = ListView_GetNextItem(grid->Hwnd(), -1, LVNI_FOCUSED);
        if (row < 0)
            row = ListView_GetNextItem(grid->Hwnd(), -1, LVNI_SELECTED);
        if (row < 0)
            return true;
        grid->Row(row);
        grid->Col(1);
        ShowCell(*grid, row, grid->Text().empty() ? 0 : 1);
        return true;
    }
    return false;
}

void MainWindow::NextControl(WPARAM wp, LPARAM lp) {
    // The dialog manager answers the access key of a label or frame with two
    // of these: "to the label", then "to the next control". A window that
    // is no dialog moves the focus itself.
    if (LOWORD(lp)) {
        accessKeyFrom_ = reinterpret_cast<HWND>(wp);
        return;
    }
    HWND from = accessKeyFrom_ ? accessKeyFrom_ : ::GetFocus();
    accessKeyFrom_ = nullptr;
    HWND next = ::GetNextDlgTabItem(Hwnd(), from, wp != 0);
    if (!next)
        return;
    ::SetFocus(next);
    if (::SendMessageW(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
        ::SendMessageW(next, EM_SETSEL, 0, -1);
}

void MainWindow::StepTab(int step) {
    const int count = static_cast<int>(form_.pages.size());
    if (count == 0)
        return;
    const int next = ((ActiveTab() + step) % count + count) % count;
    HWND focus = ::GetFocus();
    ActiveTab(next);
    // The focus does not stay behind on a page that is no longer shown.
    if (!focus || !::IsWindowVisible(focus))
        ::SetFocus(form_.tabStrip);
}

void MainWindow::PictureClick(int index) {
    const BuiltControl* picture = nullptr;
    for (const BuiltControl& c : form_.controls)
        if (c.block.kind == L"Picture" && c.block.Number(L"Index", -1) == index)
            picture = &c;
    auto tag = picture ? picture->block.Text(L"Tag") : std::nullopt;
    // A picture without a tab number (picture 0) changes nothing.
    if (!tag)
        return;
    wchar_t* end = nullptr;
    double number = std::wcstod(tag->c_str(), &end);
    if (end == tag->c_str())
        return;
    const int tab = static_cast<int>(std::floor(number));
    if (tab < 0 || tab >= static_cast<int>(form_.pages.size()))
        return;
    ActiveTab(tab);
    ::SetFocus(form_.tabStrip);
}

} // namespace calvorn::ui
