#include "registration/health/scan_repair.h"

#include "platform/error_record.h"
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
                 CapturedRegistration& into) {
    CapturedKey captured{root, path, {}};
    for (RegistryKey::StoredValue& value : key.StoredValues())
        captured.values.push_back(
            {std::move(value.name), static_cast<CapturedType>(value.type), std::move(value.data)});
    into.keys.push_back(std::move(captured));
    for (const std::wstring& name : key.SubkeyNames()) {
        std::optional<RegistryKey> sub = key.Sub(name);
        if (!sub)
            throw platform::Failure(platform::Win32Error(ERROR_ACCESS_DENIED));
        CaptureTree(*sub, root, path + L"\\" + name, into);
    }
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
            held = held || (!removed(view, target.key) &&
                            RegistryKey::Open(place.root, place.classes + L"\\" + target.key,
                                              place.access));
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
            RegistryKey::Open(place.root, place.classes, place.access);
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

CapturedRegistration CaptureTargets(std::vector<RemovalTarget>& targets,
                                    std::vector<RemovalTarget>& unsafe) {
    CapturedRegistration captured;
    std::erase_if(targets, [&](const RemovalTarget& target) {
        const ViewPlace place = PlaceOf(target.view);
        std::optional<RegistryKey> key =
            RegistryKey::Open(place.root, place.classes + L"\\" + target.key, place.access);
        if (!key)
            return false;
        const auto [root, path] = ImportNameOf(target.view, target.key);
        CapturedRegistration tree;
        CaptureTree(*key, root, path, tree);
        for (const CapturedKey& held : tree.keys) {
            for (wchar_t c : held.path) {
                if (c < 0x20 || c == 0x7F) {
                    unsafe.push_back(target);
                    return true;
                }
            }
        }
        for (CapturedKey& held : tree.keys)
            captured.keys.push_back(std::move(held));
        return false;
    });
    return captured;
}

std::vector<RemovalFailure> RemoveTargets(const std::vector<RemovalTarget>& targets) {
    std::vector<RemovalFailure> failures;
    for (const RemovalTarget& target : targets) {
        const ViewPlace place = PlaceOf(target.view);
        const long rc =
            registry::DeleteKeyTree(place.root, place.classes + L"\\" + target.key, place.access);
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
            failures.push_back({target, platform::SystemMessage(static_cast<unsigned long>(rc)),
                                rc == ERROR_ACCESS_DENIED});
    }
    return failures;
}

} // namespace calvorn::registration
