#include "registration/machine_watch.h"

#include "platform/proc_address.h"
#include "platform/unique_handle.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <set>
#include <utility>

namespace calvorn::registration {

namespace {

using platform::UniqueHandle;
using platform::UniqueHKey;

// The places a registration can reach that matter to the machine: both views
// of the classes (the machine's and the user's), the current hardware
// profile, the services, and the programs started at logon.
struct Place {
    HKEY root;
    const wchar_t* rootName;
    const wchar_t* path;
    REGSAM view;
    bool classes;
};

constexpr const wchar_t* kRun = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const wchar_t* kRunOnce = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

const Place kPlaces[] = {
    {HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\Classes", KEY_WOW64_64KEY, true},
    {HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\Classes", KEY_WOW64_32KEY, true},
    {HKEY_CURRENT_USER, L"HKCU", L"Software\\Classes", KEY_WOW64_64KEY, true},
    {HKEY_CURRENT_USER, L"HKCU", L"Software\\Classes", KEY_WOW64_32KEY, true},
    {HKEY_CURRENT_CONFIG, L"HKCC", L"", KEY_WOW64_64KEY, false},
    {HKEY_LOCAL_MACHINE, L"HKLM", L"SYSTEM\\CurrentControlSet\\Services", KEY_WOW64_64KEY, false},
    {HKEY_LOCAL_MACHINE, L"HKLM", kRun, KEY_WOW64_64KEY, false},
    {HKEY_LOCAL_MACHINE, L"HKLM", kRun, KEY_WOW64_32KEY, false},
    {HKEY_LOCAL_MACHINE, L"HKLM", kRunOnce, KEY_WOW64_64KEY, false},
    {HKEY_LOCAL_MACHINE, L"HKLM", kRunOnce, KEY_WOW64_32KEY, false},
    {HKEY_CURRENT_USER, L"HKCU", kRun, KEY_WOW64_64KEY, false},
    {HKEY_CURRENT_USER, L"HKCU", kRunOnce, KEY_WOW64_64KEY, false},
};

// Keys of the classes that hold one subkey per registered thing: their own
// times change whenever anything (Wine's registration of the other view's
// interfaces, undone afterwards, among them) adds or removes a subkey, so what
// is told of them is which subkeys came and went.
constexpr const wchar_t* kContainers[] = {L"",
                                          L"CLSID",
                                          L"Interface",
                                          L"TypeLib",
                                          L"AppID",
                                          L"Wow6432Node",
                                          L"Wow6432Node\\CLSID",
                                          L"Wow6432Node\\Interface",
                                          L"Wow6432Node\\TypeLib",
                                          L"Wow6432Node\\AppID"};

std::uint64_t Ticks(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

using NtQueryKeyFn = LONG NTAPI(HANDLE key, int informationClass, void* information, ULONG size,
                                ULONG* needed);
constexpr int kKeyNameInformation = 3;

// The key's name as the registry itself knows it ("\REGISTRY\MACHINE\..."),
// upper-cased: two views or two roots that are one key have one name.
std::wstring KernelName(HKEY key) {
    static auto* const query =
        platform::GetProc<NtQueryKeyFn>(::GetModuleHandleW(L"ntdll.dll"), "NtQueryKey");
    if (!query)
        return {};
    std::vector<std::uint8_t> buffer(4096);
    ULONG needed = 0;
    if (query(key, kKeyNameInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
              &needed) != 0)
        return {};
    ULONG bytes = 0;
    std::memcpy(&bytes, buffer.data(), sizeof bytes);
    bytes = std::min<ULONG>(bytes, static_cast<ULONG>(buffer.size() - sizeof bytes));
    std::wstring name(bytes / sizeof(wchar_t), L'\0');
    std::memcpy(name.data(), buffer.data() + sizeof bytes, name.size() * sizeof(wchar_t));
    return Upper(std::move(name));
}

bool Within(const std::wstring& name, const std::wstring& outer) {
    return !outer.empty() && name.size() >= outer.size() &&
           name.compare(0, outer.size(), outer) == 0 &&
           (name.size() == outer.size() || name[outer.size()] == L'\\');
}

std::set<std::wstring> SubkeyNames(HKEY key) {
    std::set<std::wstring> names;
    wchar_t child[256];
    for (DWORD i = 0;; ++i) {
        DWORD chars = 256;
        if (::RegEnumKeyExW(key, i, child, &chars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.insert(Upper(std::wstring(child, chars)));
    }
    return names;
}

// One registry notification: on `path` (below the area's key) alone, or on
// everything below it too.
struct Watch {
    std::wstring path;
    bool subtree = true;
    UniqueHKey key;
    UniqueHandle changed;
    bool armed = false;

    // Asks the registry to signal `changed`; unarmed, the key is looked at anyway.
    void Arm(HKEY parent, REGSAM view) {
        if (::RegOpenKeyExW(parent, path.c_str(), REG_OPTION_OPEN_LINK,
                            KEY_READ | KEY_NOTIFY | view, key.put()) != ERROR_SUCCESS)
            return;
        changed.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        armed = changed &&
                ::RegNotifyChangeKeyValue(key.get(), subtree ? TRUE : FALSE,
                                          REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                          changed.get(), TRUE) == ERROR_SUCCESS;
    }
    bool Fired() const { return !armed || ::WaitForSingleObject(changed.get(), 0) != WAIT_TIMEOUT; }
};

} // namespace

struct MachineWatch::Area {
    const Place* place = nullptr;
    std::wstring shown;    // as the user reads it
    bool existed = false;  // the key was there when the watch began
    bool separate = false; // watched on its own (not within another area)
    UniqueHKey key;
    std::vector<Watch> watches;
    // Where the platform mirrors the interfaces of a registered type library
    // into the other view (see OtherViewInterfaces); empty where it does not.
    std::wstring mirrored;
    std::vector<std::pair<std::wstring, std::set<std::wstring>>> subkeysBefore;
};

namespace {

// The classes have a watch of their own on each subkey of the root (and of
// the other view's root within it): one whose subtree the platform writes to
// of itself does not send the whole of the classes to be walked.
void WatchClasses(MachineWatch::Area& area, REGSAM view) {
    auto watchChildren = [&](const std::wstring& path) {
        Watch own;
        own.path = path;
        own.subtree = false;
        area.watches.push_back(std::move(own));
        UniqueHKey parent;
        if (::RegOpenKeyExW(area.key.get(), path.c_str(), REG_OPTION_OPEN_LINK, KEY_READ | view,
                            parent.put()) != ERROR_SUCCESS)
            return;
        wchar_t child[256];
        for (DWORD i = 0;; ++i) {
            DWORD chars = 256;
            if (::RegEnumKeyExW(parent.get(), i, child, &chars, nullptr, nullptr, nullptr,
                                nullptr) != ERROR_SUCCESS)
                break;
            const std::wstring name(child, chars);
            if (path.empty() && _wcsicmp(name.c_str(), L"Wow6432Node") == 0)
                continue;
            Watch below;
            below.path = path.empty() ? name : path + L"\\" + name;
            area.watches.push_back(std::move(below));
        }
    };
    watchChildren(L"");
    UniqueHKey other;
    if (::RegOpenKeyExW(area.key.get(), L"Wow6432Node", REG_OPTION_OPEN_LINK, KEY_READ | view,
                        other.put()) == ERROR_SUCCESS)
        watchChildren(L"Wow6432Node");
}

} // namespace

MachineWatch::MachineWatch(platform::Bitness component)
    : view_(component == platform::Bitness::x64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY) {
    std::vector<std::wstring> kernelNames;
    const bool twoViews = platform::SixtyFourBitWindows();
    for (const Place& place : kPlaces) {
        auto area = std::make_unique<Area>();
        area->place = &place;
        area->shown = std::wstring(place.rootName) + (*place.path ? L"\\" : L"") + place.path +
                      (twoViews && place.view == KEY_WOW64_32KEY ? L" (32-bit view)" : L"");
        if (::RegOpenKeyExW(place.root, place.path, 0, KEY_READ | KEY_NOTIFY | place.view,
                            area->key.put()) != ERROR_SUCCESS) {
            areas_.push_back(std::move(area)); // looked for again afterwards
            continue;
        }
        area->existed = true;
        const std::wstring kernel = KernelName(area->key.get());
        bool within = false;
        for (const std::wstring& other : kernelNames)
            within = within || Within(kernel, other);
        if (within) {
            area->key.reset();
            areas_.push_back(std::move(area));
            continue;
        }
        kernelNames.push_back(kernel);
        area->separate = true;
        if (place.classes) {
            WatchClasses(*area, place.view);
            if (twoViews && place.root == HKEY_LOCAL_MACHINE)
                area->mirrored =
                    component == platform::Bitness::x64 ? L"Wow6432Node\\Interface" : L"Interface";
        } else {
            area->watches.emplace_back().path = L"";
        }
        for (Watch& watch : area->watches)
            watch.Arm(area->key.get(), place.view);
        for (const wchar_t* container : kContainers) {
            if (*container && !place.classes)
                break;
            UniqueHKey inner;
            if (::RegOpenKeyExW(area->key.get(), container, REG_OPTION_OPEN_LINK,
                                KEY_READ | place.view, inner.put()) == ERROR_SUCCESS)
                area->subkeysBefore.emplace_back(container, SubkeyNames(inner.get()));
        }
        areas_.push_back(std::move(area));
    }
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    started_ = Ticks(now);
}

MachineWatch::~MachineWatch() = default;

namespace {

struct Walk {
    std::uint64_t since;
    REGSAM view;
    const std::vector<std::pair<std::wstring, std::set<std::wstring>>>* before;
    bool classes;
    std::set<std::wstring>* found;
    // Subkeys looked at one level deep only, and those of them passed over:
    // the other view's interfaces of the type library the component registered.
    const std::wstring* mirrored;
    const std::set<std::wstring>* mirroredNames;
};

const std::set<std::wstring>* SubkeysBefore(const Walk& walk, const std::wstring& path) {
    for (const auto& [container, names] : *walk.before)
        if (_wcsicmp(container.c_str(), path.c_str()) == 0)
            return &names;
    return nullptr;
}

// Every key from `start` (`path` within the area) down that was written since
// the watch began (only `start` itself when not `deep`); a container's own
// time tells only that its subkeys changed, so those are compared instead.
void WalkFrom(const Walk& walk, HKEY start, const std::wstring& path, bool deep,
              const std::wstring& shown) {
    std::vector<std::pair<UniqueHKey, std::wstring>> pending;
    UniqueHKey first;
    if (::RegOpenKeyExW(start, L"", REG_OPTION_OPEN_LINK, KEY_READ | walk.view, first.put()) !=
        ERROR_SUCCESS)
        return;
    pending.emplace_back(std::move(first), path);
    auto nameOf = [&](const std::wstring& at) { return at.empty() ? shown : shown + L"\\" + at; };
    while (!pending.empty()) {
        auto [key, at] = std::move(pending.back());
        pending.pop_back();
        const std::set<std::wstring>* before = SubkeysBefore(walk, at);
        const bool container = walk.classes && before;
        const bool mirrored =
            !walk.mirrored->empty() && _wcsicmp(at.c_str(), walk.mirrored->c_str()) == 0;
        FILETIME written{};
        if (!container &&
            ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, &written) == ERROR_SUCCESS &&
            Ticks(written) >= walk.since)
            walk.found->insert(nameOf(at));
        std::set<std::wstring> now;
        wchar_t child[256];
        for (DWORD i = 0;; ++i) {
            DWORD chars = 256;
            if (::RegEnumKeyExW(key.get(), i, child, &chars, nullptr, nullptr, nullptr, &written) !=
                ERROR_SUCCESS)
                break;
            const std::wstring name(child, chars);
            const std::wstring below = at.empty() ? name : at + L"\\" + name;
            if (before)
                now.insert(Upper(name));
            if (!deep || mirrored) {
                // One level: the subkey's own time, unless the platform wrote it.
                if (Ticks(written) >= walk.since && !(walk.classes && SubkeysBefore(walk, below)) &&
                    !(mirrored && walk.mirroredNames->contains(Upper(name))))
                    walk.found->insert(nameOf(below));
                continue;
            }
            UniqueHKey sub;
            if (::RegOpenKeyExW(key.get(), name.c_str(), REG_OPTION_OPEN_LINK, KEY_READ | walk.view,
                                sub.put()) == ERROR_SUCCESS)
                pending.emplace_back(std::move(sub), below);
        }
        if (before)
            for (const std::wstring& gone : *before)
                if (!now.contains(gone))
                    walk.found->insert(nameOf(at.empty() ? gone : at + L"\\" + gone) +
                                       L" (removed)");
    }
}

// The interfaces the component registered in its own view, which the
// platform mirrors into the other one.
std::set<std::wstring> CapturedInterfaces(const std::vector<CapturedKey>& touched) {
    std::set<std::wstring> names;
    for (const CapturedKey& key : touched) {
        std::wstring path = Upper(key.path);
        if (key.root == CapturedRoot::LocalMachine || key.root == CapturedRoot::CurrentUser) {
            if (path.rfind(L"SOFTWARE\\CLASSES\\", 0) != 0)
                continue;
            path.erase(0, 17);
        } else if (key.root != CapturedRoot::ClassesRoot) {
            continue;
        }
        if (path.rfind(L"INTERFACE\\", 0) == 0)
            names.insert(path.substr(10, path.find(L'\\', 10) - 10));
    }
    return names;
}

} // namespace

std::optional<std::vector<std::wstring>>
MachineWatch::Changes(const std::vector<CapturedKey>& touched) const {
    bool watched = false;
    for (const auto& area : areas_)
        watched = watched || area->separate;
    if (!watched)
        return std::nullopt;
    const std::set<std::wstring> mirroredNames = CapturedInterfaces(touched);
    std::set<std::wstring> found;
    for (const auto& area : areas_) {
        const Place& place = *area->place;
        Walk walk{started_, place.view,      &area->subkeysBefore, place.classes,
                  &found,   &area->mirrored, &mirroredNames};
        if (!area->existed) {
            // Made while the component ran, or never there: a new key is all new.
            UniqueHKey made;
            if (::RegOpenKeyExW(place.root, place.path, 0, KEY_READ | place.view, made.put()) ==
                ERROR_SUCCESS)
                WalkFrom(walk, made.get(), L"", true, area->shown);
            continue;
        }
        if (!area->separate)
            continue;
        for (const Watch& watch : area->watches) {
            if (!watch.Fired())
                continue; // the registry says nothing there changed
            UniqueHKey at;
            if (::RegOpenKeyExW(area->key.get(), watch.path.c_str(), REG_OPTION_OPEN_LINK,
                                KEY_READ | place.view, at.put()) == ERROR_SUCCESS)
                WalkFrom(walk, at.get(), watch.path, watch.subtree, area->shown);
            else if (!watch.path.empty())
                found.insert(area->shown + L"\\" + watch.path + L" (removed)");
        }
    }
    // The keys the component wrote in its capture, where the machine would
    // hold them; those within a watched place were seen above.
    for (const CapturedKey& key : touched) {
        struct Real {
            HKEY root;
            const wchar_t* name;
        };
        Real real{HKEY_LOCAL_MACHINE, L"HKLM"};
        std::wstring path = key.path;
        switch (key.root) {
        case CapturedRoot::ClassesRoot:
            path = L"Software\\Classes\\" + path;
            break;
        case CapturedRoot::LocalMachine:
            break;
        case CapturedRoot::CurrentUser:
            real = {HKEY_CURRENT_USER, L"HKCU"};
            break;
        case CapturedRoot::Users:
            real = {HKEY_USERS, L"HKU"};
            break;
        }
        bool covered = false;
        for (const auto& area : areas_) {
            const Place& place = *area->place;
            const std::wstring prefix = place.path;
            covered = covered || (area->existed && place.root == real.root &&
                                  (place.view == view_ || !platform::SixtyFourBitWindows()) &&
                                  Within(Upper(path), Upper(prefix)));
        }
        if (covered || path.empty())
            continue;
        UniqueHKey machineKey;
        FILETIME written{};
        if (::RegOpenKeyExW(real.root, path.c_str(), REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE | view_,
                            machineKey.put()) == ERROR_SUCCESS &&
            ::RegQueryInfoKeyW(machineKey.get(), nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr,
                               &written) == ERROR_SUCCESS &&
            Ticks(written) >= started_)
            found.insert(std::wstring(real.name) + L"\\" + path +
                         (platform::SixtyFourBitWindows() && view_ == KEY_WOW64_32KEY
                              ? L" (32-bit view)"
                              : L""));
    }
    return std::vector<std::wstring>(found.begin(), found.end());
}

} // namespace calvorn::registration
