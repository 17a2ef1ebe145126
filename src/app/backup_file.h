#pragma once
// The repair's backup on the disk: written under a name no older backup
// has, flushed and read back before anything is removed, and restored from
// by "-q -restore" and the window's Undo.

#include "registration/health/scan_backup.h"

#include <string>
#include <vector>

namespace calvorn::app {

// Writes the backup whole under a new name in `folder`, flushes it, and
// reads it back: the path, or the system's code of why not (a part written
// is deleted again). ERROR_INVALID_DATA when the file read back is not the
// backup.
std::wstring WriteBackupFile(const std::wstring& folder, const registration::ScanBackup& backup,
                             unsigned long& error);

// Replaces the backup at `path` with `backup`, written and read back beside
// it first: the old one stays when the new one cannot be written whole.
unsigned long ReplaceBackupFile(const std::wstring& path, const registration::ScanBackup& backup);

struct RestoreResult {
    // Why the file could not be read as a backup; empty when it was.
    std::wstring unreadable;
    std::size_t keys = 0; // keys in the backup
    std::vector<registration::RestoreFailure> failures;
};

// Reads the backup at `path` and writes it back into the registry view it
// names.
RestoreResult RestoreBackupFile(const std::wstring& path);

} // namespace calvorn::app
