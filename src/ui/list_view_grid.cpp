#include "ui/list_view_grid.h"

#include "platform/gdi_objects.h"
#include "ui/procedure_guard.h"
#include "ui/window.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

namespace calvorn::ui {

namespace {

// The width a new column starts with, before the presenter sets its own.
constexpr int kDefaultColumnTwips = 960;
// What a cell takes around its text, in pixels at 96 DPI; a text wider than
// the cell less this is cut by the control.
constexpr int kCellPaddingPixels = 12;
// How wide a tooltip grows before it wraps a long value, in twips.
constexpr int kTipWidthTwips = 7200;

int ListViewFormat(int alignment) {
    // Flex-grid codes: 0-2 left, 3-5 centre, 6-8 right (top, centre, bottom
    // each); 9 is "general", which lays text out to the left.
    if (alignment >= 3 && alignment <= 5)
        return LVCFMT_CENTER;
    if (alignment >= 6 && alignment <= 8)
        return LVCFMT_RIGHT;
    return LVCFMT_LEFT;
}

} // namespace

ListViewGrid::~ListViewGrid() = default;

bool ListViewGrid::Create(HWND parent, int id) {
    hwnd_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | LVS_REPORT |
                                  LVS_NOCOLUMNHEADER | LVS_SHOWSELALWAYS,
                              0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                              ::GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_)
        return false;
    ListView_SetExtendedListViewStyle(hwnd_, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    Cols(1);
    // The grid sees the mouse first, to follow it from cell to cell and hand
    // it on to the tip (which is not told to subclass the control either:
    // TTF_SUBCLASS costs what SetWindowSubclass does).
    procedure_.Install(hwnd_, this, &ControlProc);
    return true;
}

void ListViewGrid::ShowTips() {
    if (!hwnd_ || tip_)
        return;
    HWND parent = ::GetParent(hwnd_);
    tip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                             WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, parent, nullptr,
                             ::GetModuleHandleW(nullptr), nullptr);
    if (!tip_)
        return;
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_IDISHWND;
    ti.hwnd = parent;
    ti.uId = reinterpret_cast<UINT_PTR>(hwnd_);
    ti.lpszText = LPSTR_TEXTCALLBACKW;
    ::SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    // A long path wraps instead of running off the screen.
    ::SendMessageW(tip_, TTM_SETMAXTIPWIDTH, 0, TwipsToPixels(kTipWidthTwips, WindowDpi(hwnd_)));
}

LRESULT CALLBACK ListViewGrid::ControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = ReplacedProcedure::OwnerOf<ListViewGrid>(hwnd);
    if (!self)
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    return Guarded(
        L"ListViewGrid", msg,
        [&] {
            if (msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST) {
                if (msg == WM_MOUSEMOVE)
                    self->OnMouseMove({GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
                if (self->tip_) {
                    MSG relayed{hwnd, msg, wp, lp, static_cast<DWORD>(::GetMessageTime()), {}};
                    const DWORD at = ::GetMessagePos();
                    relayed.pt = {GET_X_LPARAM(at), GET_Y_LPARAM(at)};
                    ::SendMessageW(self->tip_, TTM_RELAYEVENT, 0,
                                   reinterpret_cast<LPARAM>(&relayed));
                }
            }
            if (msg == WM_SETFOCUS)
                self->MarkFocusedRow();
            return self->procedure_.Next(hwnd, msg, wp, lp);
        },
        // The control's own handling, which the message has not had yet.
        [&] { return self->procedure_.Next(hwnd, msg, wp, lp); });
}

void ListViewGrid::MarkFocusedRow() {
    // Marked before the control handles the focus, so that it announces the
    // row to assistive tools with the focus itself. Only the focus: a
    // selection would narrow what Ctrl+C copies.
    if (Rows() > 0 && ListView_GetNextItem(hwnd_, -1, LVNI_FOCUSED) < 0)
        ListView_SetItemState(hwnd_, 0, LVIS_FOCUSED, LVIS_FOCUSED);
}

void ListViewGrid::Rescale(UINT toDpi) {
    if (!hwnd_ || toDpi == 0)
        return;
    // From the widths as set, in twips: scaled pixels would round otherwise
    // than a start at the new DPI.
    const int last = ColumnCount() - 1;
    for (int c = 0; c <= last && static_cast<size_t>(c) < widthTwips_.size(); ++c) {
        const int width = TwipsToPixels(widthTwips_[static_cast<size_t>(c)], toDpi);
        if (c == last)
            lastColumnWidth_ = width;
        else
            ListView_SetColumnWidth(hwnd_, c, width);
    }
    // Rows of the new font's height may need a scroll bar now, or no more:
    // the last column fits what the control shows after it has seen them.
    LayOutRows();
    if (tip_)
        ::SendMessageW(tip_, TTM_SETMAXTIPWIDTH, 0, TwipsToPixels(kTipWidthTwips, toDpi));
    FitLastColumn();
}

void ListViewGrid::FollowSystemColours() {
    if (!hwnd_)
        return;
    // The control learns of the change as the top-level window did; the
    // colours it keeps for its rows are set again from the new scheme.
    ::SendMessageW(hwnd_, WM_SYSCOLORCHANGE, 0, 0);
    ListView_SetBkColor(hwnd_, ::GetSysColor(COLOR_WINDOW));
    ListView_SetTextBkColor(hwnd_, ::GetSysColor(COLOR_WINDOW));
    ListView_SetTextColor(hwnd_, ::GetSysColor(COLOR_WINDOWTEXT));
    ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void ListViewGrid::OnMouseMove(POINT at) {
    LVHITTESTINFO hit{};
    hit.pt = at;
    if (::SendMessageW(hwnd_, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)) < 0)
        hit.iItem = hit.iSubItem = -1;
    if (hit.iItem == hoverRow_ && hit.iSubItem == hoverCol_)
        return;
    hoverRow_ = hit.iItem;
    hoverCol_ = hit.iSubItem;
    // The tip of the cell left goes; the new cell's comes after the usual
    // pause, with its own text.
    if (tip_ && ::IsWindowVisible(tip_))
        ::SendMessageW(tip_, TTM_POP, 0, 0);
}

int ListViewGrid::ColumnWidth(int col) const {
    return ListView_GetColumnWidth(hwnd_, col);
}

bool ListViewGrid::Fits(const std::wstring& text, int width) const {
    const int padding = ::MulDiv(kCellPaddingPixels, static_cast<int>(WindowDpi(hwnd_)), 96);
    return ListView_GetStringWidth(hwnd_, text.c_str()) + padding <= width;
}

bool ListViewGrid::IsHeading(int row) const {
    if (row < 0 || static_cast<size_t>(row) >= colours_.size() ||
        colours_[static_cast<size_t>(row)].empty())
        return false;
    return colours_[static_cast<size_t>(row)][0].back.has_value();
}

bool ListViewGrid::Spans(int row) const {
    const int cols = ColumnCount();
    if (!hwnd_ || row < 0 || row >= Rows() || cols < 2)
        return false;
    for (int c = 1; c < cols; ++c)
        if (!CellText(row, c).empty())
            return false;
    return IsHeading(row) || !Fits(CellText(row, 0), ColumnWidth(0));
}

std::wstring ListViewGrid::TipTextAt(int row, int col) const {
    if (!hwnd_ || row < 0 || row >= Rows() || col < 0 || col >= ColumnCount())
        return genericTip_;
    std::wstring text;
    int width = 0;
    if (Spans(row)) {
        RECT client{};
        ::GetClientRect(hwnd_, &client);
        for (int c = 0, n = ColumnCount(); c < n; ++c)
            width += ColumnWidth(c);
        width = std::max(width, static_cast<int>(client.right));
        text = CellText(row, 0);
    } else {
        text = CellText(row, col);
        width = ColumnWidth(col);
    }
    return text.empty() || Fits(text, width) ? genericTip_ : text;
}

int ListViewGrid::ColumnCount() const {
    HWND header = ListView_GetHeader(hwnd_);
    return header ? Header_GetItemCount(header) : 0;
}

int ListViewGrid::Rows() const {
    return hwnd_ ? ListView_GetItemCount(hwnd_) : 0;
}

void ListViewGrid::Rows(int count) {
    if (!hwnd_ || count < 0)
        return;
    int have = Rows();
    for (; have < count; ++have) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = have;
        item.pszText = const_cast<wchar_t*>(L"");
        if (ListView_InsertItem(hwnd_, &item) < 0)
            break;
    }
    while (have > count && ListView_DeleteItem(hwnd_, have - 1))
        --have;
    if (row_ >= have)
        row_ = have > 0 ? have - 1 : 0;
    ResizeColours();
}

void ListViewGrid::Cols(int count) {
    // A list view keeps at least its first column.
    if (!hwnd_ || count < 1)
        return;
    int have = ColumnCount();
    const int before = have;
    int width = TwipsToPixels(kDefaultColumnTwips, WindowDpi(hwnd_));
    for (; have < count; ++have) {
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = width;
        column.iSubItem = have;
        if (ListView_InsertColumn(hwnd_, have, &column) < 0)
            break;
    }
    while (have > count && ListView_DeleteColumn(hwnd_, have - 1))
        --have;
    widthTwips_.resize(static_cast<size_t>(have), kDefaultColumnTwips);
    if (have != before)
        lastColumnWidth_ = have > 0 ? ListView_GetColumnWidth(hwnd_, have - 1) : 0;
    if (col_ >= have)
        col_ = have - 1;
    ResizeColours();
}

void ListViewGrid::Row(int row) {
    if (row >= 0 && row < Rows())
        row_ = row;
}

void ListViewGrid::Col(int col) {
    if (col >= 0 && col < ColumnCount())
        col_ = col;
}

std::wstring ListViewGrid::CellText(int row, int col) const {
    std::wstring text(256, L'\0');
    for (;;) {
        LVITEMW item{};
        item.iSubItem = col;
        item.pszText = text.data();
        item.cchTextMax = static_cast<int>(text.size());
        auto copied = static_cast<size_t>(::SendMessageW(
            hwnd_, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
        if (copied + 1 < text.size()) {
            text.resize(copied);
            return text;
        }
        text.resize(text.size() * 2);
    }
}

std::wstring ListViewGrid::Text() const {
    if (!hwnd_ || row_ >= Rows())
        return {};
    return CellText(row_, col_);
}

void ListViewGrid::Text(const std::wstring& text) {
    if (!hwnd_ || row_ >= Rows())
        return;
    ListView_SetItemText(hwnd_, row_, col_, const_cast<wchar_t*>(text.c_str()));
}

ListViewGrid::CellColours* ListViewGrid::Current() {
    if (row_ < 0 || static_cast<size_t>(row_) >= colours_.size())
        return nullptr;
    auto& cells = colours_[static_cast<size_t>(row_)];
    if (col_ < 0 || static_cast<size_t>(col_) >= cells.size())
        return nullptr;
    return &cells[static_cast<size_t>(col_)];
}

void ListViewGrid::ResizeColours() {
    int cols = ColumnCount();
    colours_.resize(static_cast<size_t>(Rows()));
    for (auto& cells : colours_)
        cells.resize(static_cast<size_t>(cols > 0 ? cols : 0));
}

void ListViewGrid::CellBackColor(GridColor color) {
    if (CellColours* cell = Current()) {
        cell->back = color;
        ListView_RedrawItems(hwnd_, row_, row_);
    }
}

void ListViewGrid::CellForeColor(GridColor color) {
    if (CellColours* cell = Current()) {
        cell->fore = color;
        ListView_RedrawItems(hwnd_, row_, row_);
    }
}

void ListViewGrid::ColAlignment(int col, int alignment) {
    if (!hwnd_ || col < 0 || col >= ColumnCount())
        return;
    LVCOLUMNW column{};
    column.mask = LVCF_FMT;
    column.fmt = ListViewFormat(alignment);
    ListView_SetColumn(hwnd_, col, &column);
}

void ListViewGrid::ColWidth(int col, int twips) {
    if (!hwnd_ || col < 0 || col >= ColumnCount() || twips < 0)
        return;
    const int width = TwipsToPixels(twips, WindowDpi(hwnd_));
    if (static_cast<size_t>(col) < widthTwips_.size())
        widthTwips_[static_cast<size_t>(col)] = twips;
    if (col == ColumnCount() - 1)
        lastColumnWidth_ = width;
    else
        ListView_SetColumnWidth(hwnd_, col, width);
    if (!held_)
        FitLastColumn();
}

void ListViewGrid::Redraw(bool on) {
    if (!hwnd_)
        return;
    if (!on) {
        if (held_++ == 0)
            ::SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
        return;
    }
    if (held_ == 0 || --held_ > 0)
        return;
    ::SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
    FitLastColumn();
    // The control works out its rows' size and its scroll bars when it is
    // first painted with rows in it, and under Wine each change of a scroll
    // bar on screen draws the themed bar again (three times, 12 ms, in the
    // first paint of a report). Not yet on screen, a paint into memory does
    // that work for the price of drawing the rows once.
    if (!::IsWindowVisible(hwnd_))
        LayOutRows();
    ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void ListViewGrid::LayOutRows() const {
    if (Rows() == 0)
        return;
    if (const platform::UniqueMemoryDc dc(::CreateCompatibleDC(nullptr)); dc)
        ::SendMessageW(hwnd_, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.get()), PRF_CLIENT);
}

void ListViewGrid::FitLastColumn() {
    const int last = ColumnCount() - 1;
    if (!hwnd_ || last < 0)
        return;
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    int left = client.right;
    for (int c = 0; c < last; ++c)
        left -= ListView_GetColumnWidth(hwnd_, c);
    const int width = std::max(left, lastColumnWidth_);
    if (ListView_GetColumnWidth(hwnd_, last) != width)
        ListView_SetColumnWidth(hwnd_, last, width);
}

void ListViewGrid::Clear() {
    if (!hwnd_)
        return;
    int rows = Rows();
    int cols = ColumnCount();
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            ListView_SetItemText(hwnd_, r, c, const_cast<wchar_t*>(L""));
    for (auto& cells : colours_)
        for (auto& cell : cells)
            cell = {};
    ::InvalidateRect(hwnd_, nullptr, TRUE);
}

bool ListViewGrid::OnNotify(NMHDR* header, LRESULT& result) {
    if (!hwnd_ || !header)
        return false;
    if (tip_ && header->hwndFrom == tip_ && header->code == TTN_GETDISPINFOW) {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
        shownTip_ = TipTextAt(hoverRow_, hoverCol_);
        info->hinst = nullptr;
        info->lpszText = shownTip_.data();
        result = 0;
        return true;
    }
    if (header->hwndFrom != hwnd_)
        return false;
    switch (header->code) {
    case NM_CUSTOMDRAW:
        result = CustomDraw(*reinterpret_cast<NMLVCUSTOMDRAW*>(header));
        return true;
    case LVN_KEYDOWN: {
        auto* key = reinterpret_cast<NMLVKEYDOWN*>(header);
        if (key->wVKey == 'C' && ::GetKeyState(VK_CONTROL) < 0) {
            CopyToClipboard();
            result = 0;
            return true;
        }
        return false;
    }
    default:
        return false;
    }
}

std::wstring ListViewGrid::CopyText() const {
    if (!hwnd_)
        return {};
    std::vector<int> rows;
    for (int i = ListView_GetNextItem(hwnd_, -1, LVNI_SELECTED); i >= 0;
         i = ListView_GetNextItem(hwnd_, i, LVNI_SELECTED))
        rows.push_back(i);
    if (rows.empty())
        for (int i = 0, n = Rows(); i < n; ++i)
            rows.push_back(i);
    int cols = ColumnCount();
    std::wstring text;
    for (int r : rows) {
        for (int c = 0; c < cols; ++c) {
            if (c > 0)
                text += L'\t';
            text += CellText(r, c);
        }
        text += L"\r\n";
    }
    return text;
}

bool ListViewGrid::CopyToClipboard() const {
    std::wstring text = CopyText();
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    if (!memory)
        return false;
    if (void* p = ::GlobalLock(memory)) {
        ::memcpy(p, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
        ::GlobalUnlock(memory);
    } else {
        ::GlobalFree(memory);
        return false;
    }
    if (!::OpenClipboard(hwnd_)) {
        ::GlobalFree(memory);
        return false;
    }
    ::EmptyClipboard();
    bool placed = ::SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    if (!placed)
        ::GlobalFree(memory); // the clipboard owns it only on success
    ::CloseClipboard();
    return placed;
}

} // namespace calvorn::ui
