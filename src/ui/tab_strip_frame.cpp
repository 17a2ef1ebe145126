#include "ui/tab_strip_frame.h"

#include "ui/procedure_guard.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>

namespace calvorn::ui {

namespace {

// The frame is drawn over the parent's background: its rendering starts from it.
constexpr int kBackground = COLOR_BTNFACE;
// The small rendering holds a middle this wide and high besides its margins.
constexpr int kMiddle = 4;

} // namespace

std::unique_ptr<TabStripFrame> TabStripFrame::Attach(HWND tabStrip) {
    std::unique_ptr<TabStripFrame> frame(new TabStripFrame(tabStrip));
    if (!frame->Render())
        return nullptr;
    frame->procedure_.Install(tabStrip, frame.get(), &ControlProc);
    return frame;
}

TabStripFrame::~TabStripFrame() {
    Release();
}

bool TabStripFrame::PaintWhole(HWND tabStrip, HDC dc, const RECT& r) {
    HTHEME theme = ::OpenThemeData(tabStrip, L"Tab");
    if (!theme)
        return false;
    ::FillRect(dc, &r, ::GetSysColorBrush(kBackground));
    const bool drawn = SUCCEEDED(::DrawThemeBackground(theme, dc, TABP_PANE, 0, &r, nullptr));
    ::CloseThemeData(theme);
    return drawn;
}

bool TabStripFrame::Render() {
    Release();
    HTHEME theme = ::OpenThemeData(hwnd_, L"Tab");
    if (!theme)
        return false;
    MARGINS m{};
    const bool measured =
        SUCCEEDED(::GetThemeMargins(theme, nullptr, TABP_PANE, 0, TMT_SIZINGMARGINS, nullptr, &m));
    ::CloseThemeData(theme);
    if (!measured || m.cxLeftWidth < 0 || m.cxRightWidth < 0 || m.cyTopHeight < 0 ||
        m.cyBottomHeight < 0)
        return false;
    margins_ = m;
    size_ = {m.cxLeftWidth + m.cxRightWidth + kMiddle, m.cyTopHeight + m.cyBottomHeight + kMiddle};
    {
        const platform::WindowDc screen(hwnd_);
        dc_.reset(::CreateCompatibleDC(screen.get()));
        bitmap_.reset(::CreateCompatibleBitmap(screen.get(), size_.cx, size_.cy));
    }
    if (!dc_ || !bitmap_) {
        Release();
        return false;
    }
    selected_.Select(dc_.get(), bitmap_.get());
    const RECT all{0, 0, size_.cx, size_.cy};
    if (!PaintWhole(hwnd_, dc_.get(), all)) {
        Release();
        return false;
    }
    return true;
}

void TabStripFrame::Release() {
    selected_.Restore();
    dc_.reset();
    bitmap_.reset();
}

int TabStripFrame::PagesTop() const {
    RECT r{0, 0, 1000, 1000};
    TabCtrl_AdjustRect(hwnd_, FALSE, &r);
    return r.top;
}

void TabStripFrame::Place(const RECT& whole) {
    whole_ = whole;
    // Below the pages' top the control's own frame is clipped away; its
    // bottom edge must lie there too. Without the style's picture (it was
    // switched off) the control draws all of its frame.
    int height = whole.bottom - whole.top;
    if (dc_)
        height = std::min(height, PagesTop() + static_cast<int>(margins_.cyBottomHeight) + 1);
    ::SetWindowPos(hwnd_, nullptr, whole.left, whole.top, whole.right - whole.left, height,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
}

void TabStripFrame::PaintInParent(HDC dc) const {
    if (!hwnd_)
        return;
    // The rows the control covers are clipped from the parent's paint.
    PaintSidesAndBottom(dc, whole_.left, whole_.top + PagesTop(), whole_.right, whole_.bottom);
}

void TabStripFrame::PaintSidesAndBottom(HDC dc, int left, int top, int right, int bottom) const {
    if (!dc_ || right <= left || bottom <= top)
        return;
    const int l = margins_.cxLeftWidth, r = margins_.cxRightWidth, b = margins_.cyBottomHeight;
    const int middleRow = margins_.cyTopHeight + kMiddle / 2;
    const int middleColumn = l + kMiddle / 2;
    const int inner = std::max(0, right - r - (left + l));
    // The sides: one row of the picture's middle, drawn down to the bottom edge.
    const int sidesEnd = std::max(top, bottom - b);
    if (sidesEnd > top) {
        const int rows = sidesEnd - top;
        ::StretchBlt(dc, left, top, l, rows, dc_.get(), 0, middleRow, l, 1, SRCCOPY);
        ::StretchBlt(dc, right - r, top, r, rows, dc_.get(), size_.cx - r, middleRow, r, 1,
                     SRCCOPY);
        // Mostly under the pages: a fill, which costs nothing where it is clipped.
        const platform::UniqueBrush brush(
            ::CreateSolidBrush(::GetPixel(dc_.get(), middleColumn, middleRow)));
        if (brush) {
            const RECT middle{left + l, top, left + l + inner, sidesEnd};
            ::FillRect(dc, &middle, brush.get());
        }
    }
    // The bottom edge with its corners, less any rows above `top`.
    const int skipped = sidesEnd - (bottom - b);
    const int rows = b - skipped;
    if (rows <= 0)
        return;
    const int from = size_.cy - b + skipped;
    ::BitBlt(dc, left, sidesEnd, l, rows, dc_.get(), 0, from, SRCCOPY);
    ::StretchBlt(dc, left + l, sidesEnd, inner, rows, dc_.get(), middleColumn, from, 1, rows,
                 SRCCOPY);
    ::BitBlt(dc, right - r, sidesEnd, r, rows, dc_.get(), size_.cx - r, from, SRCCOPY);
}

void TabStripFrame::OnPaint() {
    const platform::PaintScope paint(hwnd_);
    const HDC dc = paint.get();
    if (!dc)
        return;
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    const int cut = std::min<int>(PagesTop(), client.bottom);
    // The tabs and the top of the frame, as the control draws them.
    const int saved = ::SaveDC(dc);
    ::IntersectClipRect(dc, 0, 0, client.right, cut);
    procedure_.Next(hwnd_, WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    ::RestoreDC(dc, saved);
    PaintSidesAndBottom(dc, 0, cut, client.right, whole_.bottom - whole_.top);
}

LRESULT CALLBACK TabStripFrame::ControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = ReplacedProcedure::OwnerOf<TabStripFrame>(hwnd);
    if (!self)
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    if (msg == WM_NCDESTROY)
        self->hwnd_ = nullptr;
    return Guarded(
        L"TabStripFrame", msg, [&] { return self->Handle(hwnd, msg, wp, lp); },
        [&] { return self->procedure_.Next(hwnd, msg, wp, lp); });
}

LRESULT TabStripFrame::Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PAINT:
        // A paint into a given DC (a print) is the control's own.
        if (wp || !dc_)
            break;
        OnPaint();
        return 0;
    case WM_THEMECHANGED: {
        const LRESULT result = procedure_.Next(hwnd, msg, wp, lp);
        Render();
        Place(whole_);
        ::InvalidateRect(::GetParent(hwnd), nullptr, TRUE);
        return result;
    }
    default:
        break;
    }
    return procedure_.Next(hwnd, msg, wp, lp);
}

} // namespace calvorn::ui
