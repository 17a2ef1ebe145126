#pragma once
// Taking broken registrations away, safely: the keys that remove what the
// scan found, read whole (values, types, subkeys) before anything is removed
// so that a backup can put them back exactly, and their removal.

#include "registration/captured_registration.h"
#include "registration/health/registration_scan.h"
#include "registration/health/scan_backup.h"

#include <cstdint>

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

// A removal to make: the key, why it goes, and all of it as backed up.
struct PlannedRemoval {
    RemovalTarget target;
    // The entries that found it broken, judged again before it goes. For a
    // ProgID that goes with its class, the ProgID's own: it goes only once
    // its class is gone from every view.
    std::vector<ScanEntry> because;
    bool withItsClass = false;
    std::vector<CapturedKey> keys; // parents before children, under the backup's names
};

struct RepairPlan {
    std::vector<PlannedRemoval> removals;
    // A name below the key that a backup cannot hold: left alone.
    std::vector<RemovalTarget> unsafe;
    // No longer broken when judged again: left alone.
    std::vector<RemovalTarget> changed;
};

// What a repair of the entries removes, each key judged again (live, with
// `lookups` asked afresh) and read whole as it stands now, links as the links
// they are. A key that is gone already is left out. Throws platform::Failure
// when a key that is there cannot be read whole: a backup with a hole is no
// backup.
RepairPlan PlanRepair(const std::vector<ScanEntry>& entries, const std::vector<ScanView>& views,
                      const FileLookups& lookups);

// The backup of the removals, in the view their names are imported in.
ScanBackup BackupOf(const std::vector<PlannedRemoval>& removals);

enum class RemovalOutcome : std::uint8_t {
    Removed,
    // Written to since it was judged or backed up, or no longer broken: kept.
    Changed,
    Failed,
    // Refused for want of rights: an elevated program could remove it.
    Denied,
};

// Judges the key again immediately before (live, `lookups` asked afresh),
// and removes it, with everything below it and never through a link, only
// when it is still broken and still exactly what the backup holds. `reason`
// tells why it failed.
RemovalOutcome RemovePlanned(const PlannedRemoval& removal, const std::vector<ScanView>& views,
                             const FileLookups& lookups, std::wstring& reason);

} // namespace calvorn::registration
