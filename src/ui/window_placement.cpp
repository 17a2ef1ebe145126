#include "ui/window_placement.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>

namespace calvorn::ui {

std::wstring FormatPlacement(const StoredPlacement& p) {
    wchar_t text[96] = {};
    std::swprintf(text, 96, L"%ld %ld %ld %ld %d %u", static_cast<long>(p.normal.left),
                  static_cast<long>(p.normal.top), static_cast<long>(p.normal.right),
                  static_cast<long>(p.normal.bottom), p.maximized ? 1 : 0, p.dpi);
    return text;
}

std::optional<StoredPlacement> ParsePlacement(const std::wstring& text) {
    long long v[6] = {};
    const wchar_t* at = text.c_str();
    for (long long& n : v) {
        wchar_t* end = nullptr;
        n = std::wcstoll(at, &end, 10);
        if (end == at)
            return std::nullopt;
        at = end;
    }
    while (*at == L' ')
        ++at;
    if (*at != L'\0')
        return std::nullopt;
    constexpr long long kFar = 1'000'000;
    for (int i = 0; i < 4; ++i)
        if (v[i] < -kFar || v[i] > kFar)
            return std::nullopt;
    if (v[2] <= v[0] || v[3] <= v[1] || (v[4] != 0 && v[4] != 1) || v[5] < 48 || v[5] > 960)
        return std::nullopt;
    StoredPlacement p;
    p.normal = {static_cast<LONG>(v[0]), static_cast<LONG>(v[1]), static_cast<LONG>(v[2]),
                static_cast<LONG>(v[3])};
    p.maximized = v[4] == 1;
    p.dpi = static_cast<UINT>(v[5]);
    return p;
}

StoredPlacement CurrentPlacement(HWND window, UINT dpi) {
    StoredPlacement p;
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    if (::GetWindowPlacement(window, &wp)) {
        p.normal = wp.rcNormalPosition;
        p.maximized = wp.showCmd == SW_SHOWMAXIMIZED ||
                      (wp.showCmd == SW_SHOWMINIMIZED && (wp.flags & WPF_RESTORETOMAXIMIZED));
    }
    p.dpi = dpi;
    return p;
}

int ApplyPlacement(HWND window, const StoredPlacement& stored, UINT dpi, SIZE minimum) {
    auto scale = [&](LONG v) {
        return ::MulDiv(v, static_cast<int>(dpi), static_cast<int>(stored.dpi));
    };
    RECT r{scale(stored.normal.left), scale(stored.normal.top), scale(stored.normal.right),
           scale(stored.normal.bottom)};
    r.right = r.left + std::max<LONG>(r.right - r.left, minimum.cx);
    r.bottom = r.top + std::max<LONG>(r.bottom - r.top, minimum.cy);
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    if (!::GetWindowPlacement(window, &wp))
        return SW_SHOW;
    // The caption must lie on a monitor, or the user could not move it back.
    RECT caption{r.left, r.top, r.right, r.top + ::GetSystemMetrics(SM_CYCAPTION)};
    if (!::MonitorFromRect(&caption, MONITOR_DEFAULTTONULL)) {
        // Off every monitor (one unplugged since): the size alone is kept.
        ::OffsetRect(&r, wp.rcNormalPosition.left - r.left, wp.rcNormalPosition.top - r.top);
    }
    wp.rcNormalPosition = r;
    wp.showCmd = SW_HIDE;
    wp.flags = 0;
    ::SetWindowPlacement(window, &wp);
    return stored.maximized ? SW_SHOWMAXIMIZED : SW_SHOW;
}

} // namespace calvorn::ui
