#pragma once
// The main window's size and place, kept per user as one text setting so
// that the next start opens the window where the user left it.

#include <windows.h>

#include <optional>
#include <string>

namespace calvorn::ui {

struct StoredPlacement {
    RECT normal{}; // the restored window's rectangle, in pixels at `dpi`
    bool maximized = false;
    UINT dpi = 96;
};

// "left top right bottom maximized dpi", for example "120 80 900 700 0 96".
std::wstring FormatPlacement(const StoredPlacement& placement);
// Nothing for text that is not six whole numbers describing a real rectangle.
std::optional<StoredPlacement> ParsePlacement(const std::wstring& text);

// The window's present placement, to be stored.
StoredPlacement CurrentPlacement(HWND window, UINT dpi);
// Puts a hidden window where `stored` says, scaled to `dpi` and never
// smaller than `minimum`; a position that lies off every monitor is dropped
// and the window keeps its place. Returns the show command to show it with.
int ApplyPlacement(HWND window, const StoredPlacement& stored, UINT dpi, SIZE minimum);

} // namespace calvorn::ui
