// The list-view grid under a real window: rows as list-view items, widths
// at the window's DPI, heading colours as painted, Ctrl+C.

#include "ui/report_grid_presenter.h"
#include "ui/list_view_grid.h"
#include "ui/window.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <commctrl.h>

using namespace calvorn::ui;

namespace {

ListViewGrid* g_forwardTo = nullptr;

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NOTIFY && g_forwardTo) {
        LRESULT result = 0;
        if (g_forwardTo->OnNotify(reinterpret_cast<NMHDR*>(lp), result))
            return result;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

class ListViewGridTest : public ::testing::Test {
  protected:
    void SetUp() override {
        WNDCLASSW wc{};
        wc.lpfnWndProc = HostProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"ListViewGridTestHost";
        ::RegisterClassW(&wc);
        host = ::CreateWindowExW(0, wc.lpszClassName, L"host", WS_OVERLAPPEDWINDOW, 0, 0, 800, 400,
                                 nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(host, nullptr);
        ASSERT_TRUE(grid.Create(host, 100));
        grid.ShowTips();
        ::MoveWindow(grid.Hwnd(), 0, 0, 780, 360, FALSE);
        g_forwardTo = &grid;
        presenter.Init(grid);
    }
    void TearDown() override {
        g_forwardTo = nullptr;
        ::DestroyWindow(host);
    }
    std::wstring ItemText(int row, int col) {
        wchar_t buffer[256] = {};
        ListView_GetItemText(grid.Hwnd(), row, col, buffer, 256);
        return buffer;
    }
    void Pump() {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&msg);
    }
    // The colour painted near the right end of a cell, away from its text.
    COLORREF PaintedAt(int row, int col) {
        RECT cell{};
        ListView_GetSubItemRect(grid.Hwnd(), row, col, LVIR_BOUNDS, &cell);
        if (col == 0)
            cell.right = cell.left + ListView_GetColumnWidth(grid.Hwnd(), 0);
        HDC dc = ::GetDC(grid.Hwnd());
        COLORREF c = ::GetPixel(dc, cell.right - 4, (cell.top + cell.bottom) / 2);
        ::ReleaseDC(grid.Hwnd(), dc);
        return c;
    }
    void Report() {
        presenter.Clear();
        presenter.AddRow(L"TypeLib Info", L"", true);
        presenter.AddRow(L"GUID:", L"{X}", false);
        presenter.AddRow(L"File Info", L"", true);
        presenter.AddRow(L"CompanyName: ", L"Acme", false);
        presenter.AddRow(L"Extended File Info", L"", true);
    }

    HWND host = nullptr;
    ListViewGrid grid;
    ReportGridPresenter presenter;
};

} // namespace

TEST_F(ListViewGridTest, RowsAreListViewItemsWithWidthsAtTheWindowDpi) {
    Report();
    ASSERT_EQ(ListView_GetItemCount(grid.Hwnd()), 5);
    EXPECT_EQ(ItemText(1, 0), L"GUID:");
    EXPECT_EQ(ItemText(1, 1), L"{X}");
    EXPECT_EQ(ItemText(3, 1), L"Acme");
    UINT dpi = WindowDpi(grid.Hwnd());
    EXPECT_EQ(ListView_GetColumnWidth(grid.Hwnd(), 0), TwipsToPixels(2000, dpi));
    // The value column takes what the label column leaves, at least its own width.
    RECT client{};
    ::GetClientRect(grid.Hwnd(), &client);
    EXPECT_EQ(ListView_GetColumnWidth(grid.Hwnd(), 1),
              std::max<int>(TwipsToPixels(4200, dpi), client.right - TwipsToPixels(2000, dpi)));

    presenter.ShowMsg(L"At least of the files is not a valid ActiveX file!");
    ASSERT_EQ(ListView_GetItemCount(grid.Hwnd()), 1);
    EXPECT_EQ(ItemText(0, 0), L"At least of the files is not a valid ActiveX file!");
    EXPECT_EQ(ItemText(0, 1), L"");
    EXPECT_EQ(ListView_GetColumnWidth(grid.Hwnd(), 0), TwipsToPixels(20000, dpi));
    EXPECT_EQ(grid.PaintOf(0, 0).back, ::GetSysColor(COLOR_DESKTOP));
}

TEST_F(ListViewGridTest, HeadingsArePaintedInTheDesktopColourAndOrange) {
    Report();
    ::ShowWindow(host, SW_SHOW);
    ::UpdateWindow(host);
    ::RedrawWindow(grid.Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
    Pump();
    const COLORREF desktop = ::GetSysColor(COLOR_DESKTOP);
    const COLORREF orange = RGB(252, 156, 27);
    const COLORREF window = ::GetSysColor(COLOR_WINDOW);
    EXPECT_EQ(grid.PaintOf(0, 1).back, desktop);
    EXPECT_EQ(grid.PaintOf(2, 0).back, orange);
    EXPECT_EQ(grid.PaintOf(2, 0).fore, RGB(255, 255, 255));
    EXPECT_EQ(grid.PaintOf(3, 1).back, window);
    EXPECT_EQ(PaintedAt(0, 0), desktop);
    EXPECT_EQ(PaintedAt(0, 1), desktop);
    EXPECT_EQ(PaintedAt(2, 0), orange);
    EXPECT_EQ(PaintedAt(2, 1), orange);
    EXPECT_EQ(PaintedAt(3, 1), window);
    EXPECT_EQ(PaintedAt(4, 1), desktop);
}

TEST_F(ListViewGridTest, CtrlCCopiesSelectedRowsOrAllAsTabSeparatedText) {
    Report();
    EXPECT_EQ(grid.CopyText(), L"TypeLib Info\t\r\nGUID:\t{X}\r\nFile Info\t\r\n"
                               L"CompanyName: \tAcme\r\nExtended File Info\t\r\n");
    ListView_SetItemState(grid.Hwnd(), 1, LVIS_SELECTED, LVIS_SELECTED);
    ListView_SetItemState(grid.Hwnd(), 3, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(grid.CopyText(), L"GUID:\t{X}\r\nCompanyName: \tAcme\r\n");

    // The key as the control receives it, with Ctrl held down.
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    ::SetKeyboardState(keys);
    ::SendMessageW(grid.Hwnd(), WM_KEYDOWN, 'C', 0);
    keys[VK_CONTROL] = 0;
    ::SetKeyboardState(keys);

    ASSERT_TRUE(::OpenClipboard(host));
    std::wstring copied;
    if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        copied = static_cast<const wchar_t*>(::GlobalLock(data));
        ::GlobalUnlock(data);
    }
    ::CloseClipboard();
    EXPECT_EQ(copied, L"GUID:\t{X}\r\nCompanyName: \tAcme\r\n");
}

TEST_F(ListViewGridTest, HeadingsAndLongVerdictsSpanTheRowAndBandsReachTheEdge) {
    presenter.Clear();
    presenter.AddRow(L"Second File TypeLib Info", L"", true);
    presenter.AddRow(L"The Files Are Diferent! The Files Are Diferent! The Files Are", L"", false);
    presenter.AddRow(L"Comments: ", L"", false);
    presenter.AddRow(L"GUID:", L"{X}", false);
    EXPECT_TRUE(grid.Spans(0));
    EXPECT_TRUE(grid.Spans(1));  // too long for the label column
    EXPECT_FALSE(grid.Spans(2)); // fits: drawn as two cells, grid line between
    EXPECT_FALSE(grid.Spans(3)); // has a value

    ::ShowWindow(host, SW_SHOW);
    ::RedrawWindow(grid.Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
    Pump();
    // The band runs to the right edge of the grid.
    RECT client{};
    ::GetClientRect(grid.Hwnd(), &client);
    RECT row{};
    ListView_GetItemRect(grid.Hwnd(), 0, &row, LVIR_BOUNDS);
    HDC dc = ::GetDC(grid.Hwnd());
    COLORREF edge = ::GetPixel(dc, client.right - 4, (row.top + row.bottom) / 2);
    ::ReleaseDC(grid.Hwnd(), dc);
    EXPECT_EQ(edge, ::GetSysColor(COLOR_DESKTOP));
}

TEST_F(ListViewGridTest, TooltipShowsTheWholeTextOfACellThatDoesNotFit) {
    grid.ToolTip(L"Double Click for more info");
    const std::wstring path = L"C:\\Program Files\\A Vendor With A Long Name\\Shared Components"
                              L"\\Version 12\\" +
                              std::wstring(150, L'x') + L"\\component.ocx";
    const std::wstring verdict = L"The Files Are Diferent! " + std::wstring(200, L'x');
    presenter.Clear();
    presenter.AddRow(L"Path: ", path, false);
    presenter.AddRow(L"Version:", L"2.10", false);
    presenter.AddRow(verdict, L"", false);
    EXPECT_EQ(grid.TipTextAt(0, 1), path);
    EXPECT_EQ(grid.TipTextAt(0, 0), L"Double Click for more info");
    EXPECT_EQ(grid.TipTextAt(1, 1), L"Double Click for more info");
    // A spanning row: its text over either column, as long as the row cuts it.
    EXPECT_EQ(grid.TipTextAt(2, 1), verdict);
    EXPECT_EQ(grid.TipTextAt(9, 0), L"Double Click for more info"); // below the rows

    // The tooltip asks the grid, which answers for the cell under the mouse.
    RECT cell{};
    ListView_GetSubItemRect(grid.Hwnd(), 0, 1, LVIR_BOUNDS, &cell);
    ::SendMessageW(grid.Hwnd(), WM_MOUSEMOVE, 0,
                   MAKELPARAM(cell.left + 5, (cell.top + cell.bottom) / 2));
    NMTTDISPINFOW info{};
    info.hdr.hwndFrom = grid.ToolTipHwnd();
    info.hdr.code = TTN_GETDISPINFOW;
    LRESULT result = 0;
    ASSERT_TRUE(grid.OnNotify(&info.hdr, result));
    EXPECT_EQ(std::wstring(info.lpszText), path);
}

TEST_F(ListViewGridTest, HeadingTextStaysReadableOnAnyDesktopColour) {
    EXPECT_EQ(ContrastingText(RGB(255, 255, 255)), RGB(0, 0, 0));
    EXPECT_EQ(ContrastingText(RGB(0, 0, 0)), RGB(255, 255, 255));
    EXPECT_EQ(ContrastingText(RGB(58, 110, 165)), RGB(255, 255, 255));
    EXPECT_EQ(ContrastingText(RGB(255, 255, 128)), RGB(0, 0, 0));

    const INT element = COLOR_DESKTOP;
    const COLORREF saved = ::GetSysColor(COLOR_DESKTOP);
    const COLORREF white = RGB(255, 255, 255);
    ASSERT_TRUE(::SetSysColors(1, &element, &white));
    Report();
    EXPECT_EQ(grid.PaintOf(0, 0).back, white);
    EXPECT_EQ(grid.PaintOf(0, 0).fore, RGB(0, 0, 0));
    // Orange is the program's own colour and keeps its white text.
    EXPECT_EQ(grid.PaintOf(2, 0).fore, white);
    ::SetSysColors(1, &element, &saved);
}
