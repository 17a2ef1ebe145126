#include "ui/window.h"

namespace calvorn::ui {

int TwipsToPixels(int twips, UINT dpi) {
    return ::MulDiv(twips, static_cast<int>(dpi), 1440);
}

UINT WindowDpi(HWND hwnd) {
    // GetDpiForWindow is Windows 10 only; the device context answers everywhere.
    HDC dc = ::GetDC(hwnd);
    int dpi = dc ? ::GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc)
        ::ReleaseDC(hwnd, dc);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96u;
}

HFONT UiFont(UINT dpi, const wchar_t* face, int points10, bool bold) {
    LOGFONTW lf{};
    lf.lfHeight = -::MulDiv(points10, static_cast<int>(dpi), 720);
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = CLEARTYPE_QUALITY;
    lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
    return ::CreateFontIndirectW(&lf);
}

} // namespace calvorn::ui
