#pragma once
// Only regular files on a disk are components. A path that names a pipe, a
// device or the console is refused by its name alone, before anything opens
// it: opening one can block for ever (a pipe waits for its server to write).

#include "platform/unique_handle.h"

#include <string>

namespace calvorn::platform {

// The file calls on a user's path: a path past the ordinary length limit is
// passed in its extended form, so that a component deep in a tree is read as
// any other. The thread's last error tells why one failed.

// The attributes of the file or folder; INVALID_FILE_ATTRIBUTES when it
// cannot be looked at.
DWORD Attributes(const std::wstring& path);
// Opened with `access`, shared with every other reader, writer and deleter;
// `flags` as CreateFileW takes them (a folder needs
// FILE_FLAG_BACKUP_SEMANTICS). Empty when it cannot be opened.
UniqueFile OpenRead(const std::wstring& path, DWORD access = GENERIC_READ, DWORD flags = 0);
// The search for `pattern` ("C:\dir\*.dll") with its first match in `data`;
// empty when nothing matches or the folder cannot be searched.
UniqueFind FindFiles(const std::wstring& pattern, WIN32_FIND_DATAW& data);

// "\\.\pipe\x", "\\?\GLOBALROOT\...", "COM1", "C:\x\nul.dll", "CONOUT$": names
// the system gives to something other than a file.
bool NamesDeviceOrPipe(const std::wstring& path);

// Not a device or pipe name, and not a folder; a path that does not exist
// (or a bare name the loader searches for) passes, for the caller to fail on.
bool MayBeDiskFile(const std::wstring& path);

} // namespace calvorn::platform
