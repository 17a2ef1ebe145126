#include "registration/health/scan_repair.h"

#include "platform/error_record.h"
#include "platform/program_parts.h"
#include "platform/text.h"
#include "registry/registry_key.h"

#include <windows.h>

#include <cwctype>
#include <optional>
#include <set>

namespace calvorn::registration {

using registry::RegistryKey;

namespace {

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

// Whether `inner` is `outer` or lies below it.
bool Inside(const RemovalTarget& inner, const RemovalTarget& outer) {
    if (inner.view != outer.view)
        return false;
    const std::wstring a = Lower(inner.key), b = Lower(outer.key);
    return a == b ||
           (a.size() > b.size() && a.compare(0, b.size(), b) == 0 && a[b.size()] == L'\\');
}

// The key's name below its root as a registry import writes it back.
std::pair<CapturedRoot, std::wstring> ImportNameOf(ScanView view, const std::wstring& key) {
    const std::wstring full = RegistryPathOf(view, key);
    const std::size_t slash = full.find(L'\\');
    const CapturedRoot root = full.rfind(L"HKEY_CURRENT_USER", 0) == 0 ? CapturedRoot::CurrentUser
                                                                       : CapturedRoot::LocalMachine;
    return {root, full.substr(slash + 1)};
}

void CaptureTree(const RegistryKey& key, CapturedRoot root, const std::wstring& path,
                 std::vector<CapturedKey>& into) {
    CapturedKey captured{root, path, {}};
    for (RegistryKey::StoredValue& value : key.StoredValues())
        captured.values.push_back(
            {std::move(value.name), static_cast<CapturedType>(value.type), std::move(value.data)});
    into.push_back(std::move(captured));
    // A link opened as itself has no subkeys: nothing below it is read.
    for (const std::wstring& name : key.SubkeyNames()) {
        std::optional<RegistryKey> sub = key.Sub(name);
        if (!sub)
            throw platform::Failure(platform::Win32Error(ERROR_ACCESS_DENIED));
        CaptureTree(*sub, root, path + L"\\" + name, into);
    }
}

// The key with everything below it as it stands now; nothing when it is
// not there.
std::optional<std::vector<CapturedKey>> CaptureKey(const RemovalTarget& target) {
    const ViewPlace place = PlaceOf(target.view);
    const std::optional<RegistryKey> key =
        RegistryKey::OpenAsIs(place.root, place.classes, target.key, place.access);
    if (!key)
        return std::nullopt;
    const auto [root, path] = ImportNameOf(target.view, target.key);
    std::vector<CapturedKey> keys;
    CaptureTree(*key, root, path, keys);
    return keys;
}

} // namespace

std::vector<RemovalTarget> RemovalTargets(const std::vector<ScanEntry>& entries) {
    std::vector<RemovalTarget> targets;
    for (const ScanEntry& entry : entries) {
        if (entry.state != ScanState::Broken)
            continue;
        const RemovalTarget target{entry.view, entry.key};
        bool covered = false;
        for (const RemovalTarget& held : targets)
            covered = covered || Inside(target, held);
        if (covered)
            continue;
        std::erase_if(targets, [&](const RemovalTarget& held) { return Inside(held, target); });
        targets.push_back(target);
    }
    return targets;
}

std::vector<RemovalTarget> OrphanedProgIds(const std::vector<RemovalTarget>& targets,
                                           const std::vector<ScanView>& views) {
    const auto removed = [&targets](ScanView view, const std::wstring& key) {
        for (const RemovalTarget& target : targets)
            if (Inside({view, key}, target))
                return true;
        return false;
    };
    std::set<std::wstring> orphans;
    for (const RemovalTarget& target : targets) {
        const std::wstring key = Lower(target.key);
        if (key.rfind(L"clsid\\", 0) != 0 || key.find(L'\\', 6) != std::wstring::npos)
            continue;
        bool held = false;
        for (ScanView view : views) {
            const ViewPlace place = PlaceOf(view);
            held = held ||
                   (!removed(view, target.key) &&
                    RegistryKey::OpenAsIs(place.root, place.classes, target.key, place.access));
        }
        if (!held)
            orphans.insert(key.substr(6));
    }
    std::vector<RemovalTarget> progIds;
    if (orphans.empty())
        return progIds;
    for (ScanView view : views) {
        if (!HoldsSharedKeys(view))
            continue;
        const ViewPlace place = PlaceOf(view);
        const std::optional<RegistryKey> classes =
            RegistryKey::OpenAsIs(place.root, place.classes, L"", place.access);
        if (!classes)
            continue;
        for (const std::wstring& name : classes->SubkeyNames()) {
            const std::optional<RegistryKey> id = classes->Sub(name + L"\\CLSID");
            const std::optional<std::wstring> text = id ? id->Text() : std::nullopt;
            if (text && orphans.contains(Lower(*text)) && !removed(view, name))
                progIds.push_back({view, name});
        }
    }
    return progIds;
}

RepairPlan PlanRepair(const std::vector<ScanEntry>& entries, const std::vector<ScanView>& views,
                      const FileLookups& lookups) {
    RepairPlan plan;
    std::vector<RemovalTarget> targets;
    {
        ServerFiles fresh(lookups);
        for (const RemovalTarget& target : RemovalTargets(entries)) {
            PlannedRemoval removal{target, {}, false, {}};
            bool broken = false;
            for (const ScanEntry& entry : entries) {
                if (entry.view != target.view || Lower(entry.key) != Lower(target.key) ||
                    entry.state != ScanState::Broken)
                    continue;
                removal.because.push_back(entry);
                broken = broken || RecheckEntry(fresh, views, entry).has_value();
            }
            if (!broken) {
                plan.changed.push_back(target);
                continue;
            }
            targets.push_back(target);
            plan.removals.push_back(std::move(removal));
        }
    }
    for (const RemovalTarget& progId : OrphanedProgIds(targets, views)) {
        const ViewPlace place = PlaceOf(progId.view);
        const std::optional<RegistryKey> id =
            RegistryKey::OpenAsIs(place.root, place.classes, progId.key + L"\\CLSID", place.access);
        const std::optional<std::wstring> classId = id ? id->Text() : std::nullopt;
        plan.removals.push_back({progId,
                                 {{progId.view, ScanKind::ProgIdClass, ScanState::Broken,
                                   progId.key, classId.value_or(L"")}},
                                 true,
                                 {}});
    }
    std::erase_if(plan.removals, [&](PlannedRemoval& removal) {
        std::optional<std::vector<CapturedKey>> keys = CaptureKey(removal.target);
        if (!keys)
            return true; // gone already
        for (const CapturedKey& key : *keys) {
            bool holds = BackupHoldsKeyName(key.path);
            for (const CapturedValue& value : key.values)
                holds = holds && BackupHoldsValueName(value.name);
            if (!holds) {
                plan.unsafe.push_back(removal.target);
                return true;
            }
        }
        removal.keys = std::move(*keys);
        return false;
    });
    return plan;
}

ScanBackup BackupOf(const std::vector<PlannedRemoval>& removals) {
    // The 32-bit view's keys are named under Wow6432Node where there are two
    // machine views: the backup is imported in the 64-bit one.
    ScanBackup backup;
    backup.view = platform::SixtyFourBitWindows() ? CapturedMachine::X64 : CapturedMachine::X86;
    for (const PlannedRemoval& removal : removals)
        backup.keys.insert(backup.keys.end(), removal.keys.begin(), removal.keys.end());
    return backup;
}

RemovalOutcome RemovePlanned(const PlannedRemoval& removal, const std::vector<ScanView>& views,
                             const FileLookups& lookups, std::wstring& reason) {
    ServerFiles fresh(lookups);
    bool broken = false;
    for (const ScanEntry& entry : removal.because)
        broken = broken || RecheckEntry(fresh, views, entry).has_value();
    std::optional<std::vector<CapturedKey>> now;
    try {
        now = CaptureKey(removal.target);
    } catch (const platform::Failure&) {
        now.reset(); // cannot be read whole now: not what was backed up
    }
    if (!broken || !now || *now != removal.keys)
        return RemovalOutcome::Changed;
    const ViewPlace place = PlaceOf(removal.target.view);
    const long rc =
        registry::DeleteKeyTree(place.root, place.classes, removal.target.key, place.access);
    if (rc == ERROR_SUCCESS)
        return RemovalOutcome::Removed;
    if (rc == ERROR_FILE_NOT_FOUND)
        return RemovalOutcome::Changed;
    reason = platform::SystemMessage(static_cast<unsigned long>(rc));
    return rc == ERROR_ACCESS_DENIED ? RemovalOutcome::Denied : RemovalOutcome::Failed;
}

} // namespace calvorn::registration
