#pragma once
// The system folder as 32-bit code sees it: on 64-bit Windows a 32-bit
// process that names the system folder gets its 32-bit twin, so a path
// registered for 32-bit code under the system folder's name means the twin's
// file. One mapping for everything that judges such a path (the machine scan,
// a file's registration check), whatever the program's own bitness.

#include <string>

namespace calvorn::platform {

// `path` with a leading system folder replaced by the 32-bit system folder,
// in the 32-bit view of 64-bit Windows; the path itself elsewhere.
std::wstring ThirtyTwoBitViewPath(const std::wstring& path);

} // namespace calvorn::platform
