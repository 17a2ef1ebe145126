#pragma once
// Whether the window follows the user's system colours instead of its own
// pictures and gradients. A high-contrast scheme asks for it outright; a dark
// scheme without that flag would leave the light pictures glaring and the
// controls' dark theme text unreadable on the dark face, so it counts too.

#include <windows.h>

namespace calvorn::ui {

bool HighContrastOn();
// The button face is darker than mid-grey.
bool SystemColoursDark();
// Either of the two: frames, headings, buttons and the tab strip are then
// drawn from system colours alone.
bool DrawWithSystemColours();

// The relative luminance of a colour (0 black to 1 white), and the contrast
// ratio of two colours (1 to 21), as accessibility guidelines define them.
double RelativeLuminance(COLORREF colour);
double ContrastRatio(COLORREF a, COLORREF b);

} // namespace calvorn::ui
