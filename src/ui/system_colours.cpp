#include "ui/system_colours.h"

#include <algorithm>
#include <cmath>

namespace calvorn::ui {

bool HighContrastOn() {
    HIGHCONTRASTW hc{};
    hc.cbSize = sizeof hc;
    return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof hc, &hc, 0) &&
           (hc.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

bool SystemColoursDark() {
    return RelativeLuminance(::GetSysColor(COLOR_BTNFACE)) < 0.18;
}

bool DrawWithSystemColours() {
    return HighContrastOn() || SystemColoursDark();
}

double RelativeLuminance(COLORREF colour) {
    auto linear = [](BYTE value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(GetRValue(colour)) + 0.7152 * linear(GetGValue(colour)) +
           0.0722 * linear(GetBValue(colour));
}

double ContrastRatio(COLORREF a, COLORREF b) {
    const double la = RelativeLuminance(a), lb = RelativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace calvorn::ui
