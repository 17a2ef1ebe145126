#include "ui/window.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace calvorn::ui {

namespace {

// Few top-level windows ever change DPI; they are looked for on every
// layout step and paint, so this is a small list and not a window property
// (a round trip to the server under Wine).
std::mutex dpiLock;
std::vector<std::pair<HWND, UINT>> movedDpis;

} // namespace

void TopLevelDpi(HWND topLevel, UINT dpi) {
    std::lock_guard lock(dpiLock);
    std::erase_if(movedDpis, [&](const auto& entry) { return entry.first == topLevel; });
    if (dpi)
        movedDpis.emplace_back(topLevel, dpi);
}

int TwipsToPixels(int twips, UINT dpi) {
    return ::MulDiv(twips, static_cast<int>(dpi), 1440);
}

UINT WindowDpi(HWND hwnd) {
    {
        std::lock_guard lock(dpiLock);
        if (!movedDpis.empty()) {
            HWND top = ::GetAncestor(hwnd, GA_ROOT);
            for (const auto& [window, dpi] : movedDpis)
                if (window == top)
                    return dpi;
        }
    }
    // GetDpiForWindow is Windows 10 only; the device context answers everywhere.
    const platform::WindowDc dc(hwnd);
    const int dpi = dc ? ::GetDeviceCaps(dc.get(), LOGPIXELSY) : 96;
    return dpi > 0 ? static_cast<UINT>(dpi) : 96u;
}

platform::UniqueFont UiFont(UINT dpi, const wchar_t* face, int points10, bool bold) {
    LOGFONTW lf{};
    lf.lfHeight = -::MulDiv(points10, static_cast<int>(dpi), 720);
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = CLEARTYPE_QUALITY;
    lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
    return platform::UniqueFont(::CreateFontIndirectW(&lf));
}

} // namespace calvorn::ui
