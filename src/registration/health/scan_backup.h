#pragma once
// The backup of what a repair removes, and putting it back. The backup is a
// registry editor import file that names the registry view it must be
// imported into, and that this program reads back exactly: every key and
// value name and every value's type and bytes. Only keys below the classes
// keys of the machine and of the user are restored, and no registry link on
// the way is followed; a key that was a link is made a link again.

#include "registration/captured_registration.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace calvorn::registration {

struct ScanBackup {
    // X64: the names are those of the 64-bit view (the 32-bit view's keys
    // under Wow6432Node), imported there whatever bitness the importer is.
    CapturedMachine view = CapturedMachine::X86;
    std::vector<CapturedKey> keys; // parents before children
};

// Whether the backup can hold the name exactly: no NUL, and in a key's name
// no control character at all (the import format has no escape for one
// there, and a line end could forge keys of its own), and no key named "."
// or "..".
bool BackupHoldsKeyName(std::wstring_view name);
bool BackupHoldsValueName(std::wstring_view name);

// The backup's bytes (UTF-16 LE with a byte-order mark).
std::string WriteScanBackup(const ScanBackup& backup);

// The backup read back from its bytes; nothing (and `why`) when they are
// not a backup this program wrote whole, or name a key outside the classes
// keys.
std::optional<ScanBackup> ReadScanBackup(std::string_view bytes, std::wstring& why);

struct RestoreFailure {
    std::wstring key;    // the key's full name
    std::wstring reason; // the system's words
};

// Writes every key and value of the backup into the registry view it names.
// The keys that could not be written whole, with why.
std::vector<RestoreFailure> RestoreScanBackup(const ScanBackup& backup);

} // namespace calvorn::registration
