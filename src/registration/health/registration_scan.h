#pragma once
// The machine's broken COM registrations: classes whose server file is gone
// or of the other bitness, type library versions whose file is gone, ProgIDs
// whose class is gone and interfaces whose type library is gone, in both
// registry views of the machine's classes and in the user's own classes.
// Nothing here writes to the registry, and no registry link below the
// classes keys is followed: a link where a registration is read is reported
// as the link it is.

#include "registration/health/server_files.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace calvorn::registration {

// Where a registration lives. The ProgIDs and type libraries of the machine
// are one set that both views share: they are scanned once, in the view the
// system keeps them in (the 64-bit one on 64-bit Windows).
enum class ScanView : std::uint8_t { Machine32, Machine64, User };

enum class ScanKind : std::uint8_t {
    ClassServer,      // InprocServer32 names a file that is not there
    LocalServer,      // LocalServer32 names a program that is not there
    ServerBitness,    // InprocServer32 names a file of the other view's bitness
    TypeLibFile,      // a type library version's win32/win64 file is not there
    ProgIdClass,      // a ProgID names a class that is not registered
    InterfaceTypeLib, // an interface names a type library that is not registered
    Link,             // a registry link where a registration is read: never followed
};

enum class ScanState : std::uint8_t {
    Broken,
    // The file lies where it cannot be checked now: never removed.
    Unknown,
};

struct ScanEntry {
    ScanView view = ScanView::Machine64;
    ScanKind kind = ScanKind::ClassServer;
    ScanState state = ScanState::Broken;
    // Below the view's classes key ("CLSID\{...}"): the key a repair removes.
    // A class none of whose servers can serve is its whole key; the server
    // that cannot, of a class that another server serves, is its subkey
    // ("CLSID\{...}\InprocServer32"). An interface that marshals through its
    // own proxy loses only its stale "TypeLib" subkey.
    std::wstring key;
    // What is missing or wrong: the file as the registration names it, or the
    // class or type library id, or where a link leads.
    std::wstring detail;

    bool operator==(const ScanEntry&) const = default;
};

struct ScanResult {
    std::vector<ScanEntry> entries;
    // Registrations looked at: classes, type library versions, ProgIDs and
    // interfaces.
    std::size_t checked = 0;
    bool cancelled = false;
};

// The views of this machine: both machine views on 64-bit Windows, the one
// view elsewhere, then the user's classes.
std::vector<ScanView> ViewsOfThisMachine();

// The words of the reports: "32-bit", "64-bit", "user"; "class server",
// "local server", "bitness", "type library", "ProgID", "interface", "link"; "broken",
// "unknown".
const wchar_t* ViewName(ScanView view);
const wchar_t* KindName(ScanKind kind);
const wchar_t* StateName(ScanState state);

// The key's full name as the registry editor writes it, the 32-bit view's
// keys under Wow6432Node on 64-bit Windows: the name a backup restores it by.
std::wstring RegistryPathOf(ScanView view, const std::wstring& key);
// The predefined root of the view's classes, its path below that root, and the
// access flag that opens the view (KEY_WOW64_...).
struct ViewPlace {
    std::int32_t root;
    std::wstring classes;
    std::uint32_t access;
};
ViewPlace PlaceOf(ScanView view);
// Whether the scan reads the ProgIDs and type libraries in this view: the
// user's, and the machine view that holds the shared ones.
bool HoldsSharedKeys(ScanView view);

// Told how far the scan has got; returns false to stop it.
using ScanProgress = std::function<bool(std::size_t done, std::size_t total)>;

// Entries in the order of the views, then classes, type libraries, ProgIDs
// and interfaces, each in the registry's order. A view that cannot be read is
// passed over.
// Each entry is judged again from the registry and the files as they are at
// its end (a registration written meanwhile is no longer reported).
ScanResult ScanRegistrations(ServerFiles& files, const std::vector<ScanView>& views,
                             const ScanProgress& progress = {});

// Judges the registration the entry was found in again, live: from the
// registry as it is now (its class or type library looked for in every one
// of `views`) and the files through `files`, which should not have seen them
// before. The entry as it stands now, or nothing when that registration is
// no longer broken (or unknown) in the same way.
std::optional<ScanEntry> RecheckEntry(ServerFiles& files, const std::vector<ScanView>& views,
                                      const ScanEntry& entry);

} // namespace calvorn::registration
