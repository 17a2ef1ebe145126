#pragma once
// Taking broken registrations away, safely: the keys that remove what the
// scan found, read whole (values, types, subkeys) before anything is removed
// so that a backup can put them back exactly, and their removal.

#include "registration/captured_registration.h"
#include "registration/health/registration_scan.h"

#include <string>
#include <vector>

namespace calvorn::registration {

struct RemovalTarget {
    ScanView view = ScanView::Machine64;
    std::wstring key; // below the view's classes key

    bool operator==(const RemovalTarget&) const = default;
};

// One key per broken entry, each once, and none that lies inside another
// removed key. Entries in the "unknown" state are never removed.
std::vector<RemovalTarget> RemovalTargets(const std::vector<ScanEntry>& entries);

// The ProgIDs that name a class the targets take out of every view that
// holds it: removing the class would leave them naming nothing, so they go
// with it.
std::vector<RemovalTarget> OrphanedProgIds(const std::vector<RemovalTarget>& targets,
                                           const std::vector<ScanView>& views);

// The keys as they stand now, each with everything below it, parents before
// children, under the names a registry import writes them back to. A key
// that is gone already is left out, and so is (moved to `unsafe`) one with a
// line end or other control character in a name below it: the import format
// has no way to write it, and a name could forge lines of its own. Throws
// platform::Failure when a key that is there cannot be read whole: a backup
// with a hole is no backup.
CapturedRegistration CaptureTargets(std::vector<RemovalTarget>& targets,
                                    std::vector<RemovalTarget>& unsafe);

struct RemovalFailure {
    RemovalTarget target;
    std::wstring reason; // the system's words
    bool denied = false; // for want of rights
};

// Removes each key with everything below it; the ones that could not be
// removed (no rights), with why. A key that is gone already is not a failure.
std::vector<RemovalFailure> RemoveTargets(const std::vector<RemovalTarget>& targets);

} // namespace calvorn::registration
