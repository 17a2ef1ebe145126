#pragma once
// The main window's small pictures at the size they are shown in. Each is
// stored drawn for several sizes (see resource_ids.h); the one that fits is
// laid on the colour of the surface behind it, so that no picture is a
// stretched copy showing stripes or jagged edges.

#include "platform/gdi_objects.h"

#include <windows.h>

namespace calvorn::ui {

// A bitmap of picture `number` (IDB_TAB_PICTURE_0 ...) `size` pixels square
// on `background`; empty when there is none. A size between the stored ones
// is made from the next larger, smoothed.
platform::UniqueBitmap SizedPicture(int number, int size, COLORREF background);

} // namespace calvorn::ui
