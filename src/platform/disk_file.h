#pragma once
// Only regular files on a disk are components. A path that names a pipe, a
// device or the console is refused by its name alone, before anything opens
// it: opening one can block for ever (a pipe waits for its server to write).

#include <string>

namespace calvorn::platform {

// "\\.\pipe\x", "\\?\GLOBALROOT\...", "COM1", "C:\x\nul.dll", "CONOUT$": names
// the system gives to something other than a file.
bool NamesDeviceOrPipe(const std::wstring& path);

// Not a device or pipe name, and not a folder; a path that does not exist
// (or a bare name the loader searches for) passes, for the caller to fail on.
bool MayBeDiskFile(const std::wstring& path);

} // namespace calvorn::platform
