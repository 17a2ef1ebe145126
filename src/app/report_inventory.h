#pragma once
// The record of one file for the machine-readable folder report: its version
// fields with everything an inventory adds (machine, link time, COM facts,
// digests), all from one pass over the file's bytes.

#include "app/folder_records.h"
#include "app/report.h"
#include "inspection/component_inspector.h"
#include "platform/content_hashes.h"

#include <string>

namespace calvorn::app {

struct InventoryOptions {
    // None for the text report, which shows no digest.
    platform::HashChoice hashes;
    FileTypes types;
    // The registration verdict of a file with a type library; the text report
    // shows none.
    bool registration = false;
    // The module's and type library's facts; the text report, which shows
    // none of them, leaves them unread.
    bool facts = true;
};

// Reads the file once: its bytes are hashed as they come, and the version
// resource, the PE headers and the type library's header are read from the
// same bytes (a file larger than kWholeFileLimit is hashed as it streams by,
// and only the few places the readers look at are read again). Under
// "-types all" a file that is neither a module by its content nor of a type
// asked for comes back `excluded`. An unreadable file gets its error and no
// other field. Every folder report reads its files with it.
FolderRecord ReadInventoryRecord(const std::wstring& path, const InventoryOptions& options);

// The text report's reading of a file: the record without the facts.
InventoryOptions TextReportOptions();

// The record with the file's signature. A file that cannot be read for it
// is reported as unreadable, as when its version cannot be read.
FolderRecord WithSignature(FolderRecord record);

// What the window's comparison sets side by side, from the same record as
// an inventory row with its SHA-256 and signature: version fields, size,
// link time, machine, digest, signature and the type library's identity,
// each as the row's column has it.
inspection::ComparedFile ReadComparedFile(const std::wstring& path);

// Bigger files are not held whole in memory: the read-ahead holds several.
inline constexpr std::size_t kWholeFileLimit = 32u << 20;

} // namespace calvorn::app
