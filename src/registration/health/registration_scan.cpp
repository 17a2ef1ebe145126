#include "registration/health/registration_scan.h"

#include "platform/error_record.h"
#include "platform/program_parts.h"
#include "registry/registry_accessor.h"
#include "registry/registry_key.h"

#include <windows.h>

#include <cwctype>
#include <optional>
#include <tuple>
#include <unordered_set>

namespace calvorn::registration {

using registry::RegistryKey;

namespace {

// The machine view that holds the shared ProgIDs and type libraries.
ScanView NativeMachineView() {
    return platform::SixtyFourBitWindows() ? ScanView::Machine64 : ScanView::Machine32;
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

bool IsGuid(const std::wstring& text) {
    return text.size() == 38 && text.front() == L'{' && text.back() == L'}';
}

// A listing that breaks off (a key deleted meanwhile) is as far as it got.
std::vector<std::wstring> SubkeysOf(const std::optional<RegistryKey>& key) {
    if (!key)
        return {};
    try {
        return key->SubkeyNames();
    } catch (const platform::Failure&) {
        return {};
    }
}

std::optional<std::wstring> DefaultText(const std::optional<RegistryKey>& key) {
    if (!key)
        return std::nullopt;
    // As stored: %NAME% is expanded for the view the value is read in.
    std::optional<std::wstring> text = key->StoredText();
    if (text && text->empty())
        return std::nullopt;
    return text;
}

FileView FilesOf(ScanView view) {
    switch (view) {
    case ScanView::Machine32:
        return FileView::Bits32;
    case ScanView::Machine64:
        return FileView::Bits64;
    case ScanView::User:
        break;
    }
    return FileView::Either;
}

// The class of the type library marshaler: an interface it marshals needs
// its type library whole.
constexpr std::wstring_view kTypeLibMarshaler = L"{00020424-0000-0000-c000-000000000046}";

// What a judge asks about the other registrations: is this class (or type
// library), by its lower-case id, registered in any view.
struct Registered {
    std::function<bool(const std::wstring&)> classId, typeLib;
};

std::optional<RegistryKey> ClassesOf(ScanView view) {
    const ViewPlace place = PlaceOf(view);
    return RegistryKey::OpenAsIs(place.root, place.classes, L"", place.access);
}

// Judges one registration at a time, adding what is wrong with it.
class Judge {
  public:
    Judge(ServerFiles& files, const Registered& registered, std::vector<ScanEntry>& out)
        : files_(files), registered_(registered), out_(out) {}

    std::size_t checked = 0;

    void Class(ScanView view, const RegistryKey& classes, const RegistryKey& clsid,
               const std::wstring& id) {
        ++checked;
        const std::wstring key = L"CLSID\\" + id;
        const std::optional<RegistryKey> classKey = clsid.Sub(id);
        if (!classKey)
            return;
        struct Server {
            std::wstring name;
            ScanKind kind;
            FileState state;
            std::wstring path;
        };
        std::vector<Server> servers;
        bool linked = false;
        for (const auto& [name, value, kind] :
             {std::tuple{L"InprocServer32", ServerValue::ModulePath, ScanKind::ClassServer},
              std::tuple{L"LocalServer32", ServerValue::CommandLine, ScanKind::LocalServer}}) {
            const std::optional<RegistryKey> sub = classKey->Sub(name);
            const std::optional<std::wstring> text = DefaultText(sub);
            if (!text) {
                linked = AddLinkIf(view, sub, key + L"\\" + name) || linked;
                continue;
            }
            const ServerFile file = files_.Resolve(*text, value, FilesOf(view));
            Server server{name, kind, file.state, file.path};
            if (file.state == FileState::Present && kind == ScanKind::ClassServer &&
                view != ScanView::User)
                WrongBitness(view, server.kind, server.state, server.path);
            servers.push_back(std::move(server));
        }
        if (servers.empty() && !linked)
            AddLinkIf(view, classKey, key);
        bool serves = linked, unknown = false;
        for (const Server& server : servers) {
            serves = serves || server.state == FileState::Present;
            unknown = unknown || server.state == FileState::Unknown;
        }
        // A server that cannot serve goes alone while another one may serve.
        if (!serves && !servers.empty())
            serves = ServedByService(classes, *classKey);
        for (const Server& server : servers) {
            if (server.state == FileState::Present)
                continue;
            const bool whole = !serves && (server.state == FileState::Unknown || !unknown);
            Add(view, server.kind, server.state, whole ? key : key + L"\\" + server.name,
                server.path);
        }
    }

    void TypeLib(ScanView view, const RegistryKey& typeLibs, const std::wstring& id) {
        const std::optional<RegistryKey> library = typeLibs.Sub(id);
        for (const std::wstring& version : SubkeysOf(library)) {
            ++checked;
            const std::wstring versionKey = L"TypeLib\\" + id + L"\\" + version;
            const std::optional<RegistryKey> versionPlace = library->Sub(version);
            std::vector<std::pair<std::wstring, ServerFile>> files;
            for (const std::wstring& locale : SubkeysOf(versionPlace)) {
                const std::optional<RegistryKey> localePlace = versionPlace->Sub(locale);
                for (const std::wstring& platform : SubkeysOf(localePlace)) {
                    const std::wstring name = Lower(platform);
                    if (name != L"win32" && name != L"win64")
                        continue;
                    const std::wstring key = versionKey + L"\\" + locale + L"\\" + platform;
                    const std::optional<RegistryKey> place = localePlace->Sub(platform);
                    if (auto value = DefaultText(place))
                        files.emplace_back(key, TypeLibFile(*value, name == L"win64"
                                                                        ? FileView::Bits64
                                                                        : FileView::Bits32));
                    else
                        AddLinkIf(view, place, key);
                }
            }
            // A version none of whose files is there is gone as a whole;
            // else only the platform that lost its file.
            bool noneThere = !files.empty();
            for (const auto& file : files)
                noneThere = noneThere && file.second.state == FileState::Missing;
            for (const auto& [key, file] : files)
                if (file.state != FileState::Present)
                    Add(view, ScanKind::TypeLibFile, file.state, noneThere ? versionKey : key,
                        file.path);
        }
    }

    void ProgId(ScanView view, const RegistryKey& classes, const std::wstring& name) {
        if (name.empty() || name.front() == L'.')
            return;
        const std::optional<std::wstring> id = DefaultText(classes.Sub(name + L"\\CLSID"));
        if (!id || !IsGuid(*id))
            return;
        ++checked;
        if (!registered_.classId(Lower(*id)))
            Add(view, ScanKind::ProgIdClass, FileState::Missing, name, *id);
    }

    void Interface(ScanView view, const RegistryKey& interfaces, const std::wstring& id) {
        ++checked;
        const std::optional<RegistryKey> place = interfaces.Sub(id);
        if (!place)
            return;
        const std::optional<std::wstring> library = DefaultText(place->Sub(L"TypeLib"));
        if (!library || !IsGuid(*library) || registered_.typeLib(Lower(*library)))
            return;
        // Marshalled by a proxy of its own, the interface needs nothing of
        // the library: only the value that names it is stale.
        const std::optional<std::wstring> proxy = DefaultText(place->Sub(L"ProxyStubClsid32"));
        const bool ownProxy = proxy && IsGuid(*proxy) && Lower(*proxy) != kTypeLibMarshaler &&
                              registered_.classId(Lower(*proxy));
        const std::wstring key = L"Interface\\" + id;
        Add(view, ScanKind::InterfaceTypeLib, FileState::Missing,
            ownProxy ? key + L"\\TypeLib" : key, *library);
    }

  private:
    void Add(ScanView view, ScanKind kind, FileState state, std::wstring key, std::wstring detail) {
        out_.push_back({view, kind,
                        state == FileState::Unknown ? ScanState::Unknown : ScanState::Broken,
                        std::move(key), std::move(detail)});
    }

    // A key that reads as nothing may be a link opened as itself: told, and
    // never read through. True when it is one.
    bool AddLinkIf(ScanView view, const std::optional<RegistryKey>& place,
                   const std::wstring& key) {
        if (!place)
            return false;
        const std::optional<std::wstring> target = place->LinkTarget();
        if (!target)
            return false;
        out_.push_back({view, ScanKind::Link, ScanState::Unknown, key, *target});
        return true;
    }

    void WrongBitness(ScanView view, ScanKind& kind, FileState& state, std::wstring& path) {
        const FileBitness want =
            view == ScanView::Machine64 ? FileBitness::Bits64 : FileBitness::Bits32;
        const FileBitness is = files_.BitnessOf(path, FilesOf(view));
        if (is == FileBitness::Unknown || is == want)
            return;
        kind = ScanKind::ServerBitness;
        state = FileState::Missing;
        path += is == FileBitness::Bits64 ? L" (64-bit)" : L" (32-bit)";
    }

    // A class whose AppID runs it in a service is served by that service,
    // which a file check cannot judge.
    static bool ServedByService(const RegistryKey& classes, const RegistryKey& classKey) {
        const std::optional<std::wstring> appId = classKey.Text(L"AppID");
        if (!appId || !IsGuid(*appId))
            return false;
        const std::optional<RegistryKey> app = classes.Sub(L"AppID\\" + *appId);
        const std::optional<std::wstring> service = app ? app->Text(L"LocalService") : std::nullopt;
        return service && !service->empty();
    }

    // A type library's file may name its resource: "C:\x.dll\2".
    ServerFile TypeLibFile(const std::wstring& value, FileView view) {
        ServerFile file = files_.Resolve(value, ServerValue::ModulePath, view);
        const std::size_t slash = file.path.rfind(L'\\');
        if (file.state == FileState::Missing && slash != std::wstring::npos &&
            slash + 1 < file.path.size() &&
            file.path.find_first_not_of(L"0123456789", slash + 1) == std::wstring::npos) {
            ServerFile module =
                files_.Resolve(file.path.substr(0, slash), ServerValue::ModulePath, view);
            if (module.state != FileState::Missing)
                return module;
        }
        return file;
    }

    ServerFiles& files_;
    const Registered& registered_;
    std::vector<ScanEntry>& out_;
};

// What one view holds, listed before anything is checked so that the
// progress knows its end and a ProgID can be checked against every class.
struct ViewListing {
    ScanView view;
    std::optional<RegistryKey> clsid, typeLib, interfaces, classes;
    std::vector<std::wstring> classIds, typeLibIds, interfaceIds, topNames;
};

ViewListing ListView(ScanView view) {
    ViewListing listing{view, {}, {}, {}, {}, {}, {}, {}, {}};
    listing.classes = ClassesOf(view);
    if (!listing.classes)
        return listing;
    listing.clsid = listing.classes->Sub(L"CLSID");
    listing.interfaces = listing.classes->Sub(L"Interface");
    listing.classIds = SubkeysOf(listing.clsid);
    listing.interfaceIds = SubkeysOf(listing.interfaces);
    // The shared keys once, from the view that holds them.
    if (HoldsSharedKeys(view)) {
        listing.typeLib = listing.classes->Sub(L"TypeLib");
        listing.typeLibIds = SubkeysOf(listing.typeLib);
        listing.topNames = SubkeysOf(listing.classes);
    }
    return listing;
}

// Registered now, in any of the views.
Registered LiveRegistrations(const std::vector<ScanView>& views) {
    const auto anyView = [views](const std::wstring& below, bool sharedOnly) {
        for (ScanView view : views) {
            if (sharedOnly && !HoldsSharedKeys(view))
                continue;
            const std::optional<RegistryKey> classes = ClassesOf(view);
            if (classes && classes->Sub(below))
                return true;
        }
        return false;
    };
    return {[anyView](const std::wstring& id) { return anyView(L"CLSID\\" + id, false); },
            [anyView](const std::wstring& id) { return anyView(L"TypeLib\\" + id, true); }};
}

// The name below "CLSID\", "TypeLib\" or "Interface\" in a key, or the
// key's first name.
std::wstring SecondName(const std::wstring& key) {
    const std::size_t first = key.find(L'\\');
    if (first == std::wstring::npos)
        return key;
    const std::size_t second = key.find(L'\\', first + 1);
    return key.substr(first + 1,
                      second == std::wstring::npos ? std::wstring::npos : second - first - 1);
}

class Scanner {
  public:
    Scanner(ServerFiles& files, const ScanProgress& progress)
        : files_(files), progress_(progress) {}

    ScanResult Run(const std::vector<ScanView>& views) {
        std::vector<ViewListing> listings;
        for (ScanView view : views)
            listings.push_back(ListView(view));
        for (const ViewListing& listing : listings) {
            total_ += listing.classIds.size() + listing.typeLibIds.size() +
                      listing.topNames.size() + listing.interfaceIds.size();
            for (const std::wstring& id : listing.classIds)
                classes_.insert(Lower(id));
            for (const std::wstring& id : listing.typeLibIds)
                typeLibs_.insert(Lower(id));
        }
        const Registered listed{[this](const std::wstring& id) { return classes_.contains(id); },
                                [this](const std::wstring& id) { return typeLibs_.contains(id); }};
        std::vector<ScanEntry> found;
        Judge judge(files_, listed, found);
        for (const ViewListing& listing : listings) {
            if (!Check(judge, listing)) {
                result_.cancelled = true;
                break;
            }
        }
        result_.checked = judge.checked;
        // The views were listed at different moments, and a registration may
        // have been written or mended since: each entry is judged again now.
        ServerFiles fresh(files_.Lookups());
        for (const ScanEntry& entry : found)
            if (std::optional<ScanEntry> now = RecheckEntry(fresh, views, entry))
                result_.entries.push_back(std::move(*now));
        if (!result_.cancelled && progress_)
            progress_(total_, total_);
        return std::move(result_);
    }

  private:
    // False when the scan is to stop.
    bool Step() {
        ++done_;
        return !progress_ || done_ % 64 != 0 || progress_(done_, total_);
    }

    bool Check(Judge& judge, const ViewListing& listing) {
        for (const std::wstring& id : listing.classIds)
            if (!Step())
                return false;
            else
                judge.Class(listing.view, *listing.classes, *listing.clsid, id);
        for (const std::wstring& id : listing.typeLibIds)
            if (!Step())
                return false;
            else
                judge.TypeLib(listing.view, *listing.typeLib, id);
        for (const std::wstring& name : listing.topNames)
            if (!Step())
                return false;
            else
                judge.ProgId(listing.view, *listing.classes, name);
        for (const std::wstring& id : listing.interfaceIds)
            if (!Step())
                return false;
            else
                judge.Interface(listing.view, *listing.interfaces, id);
        return true;
    }

    ServerFiles& files_;
    const ScanProgress& progress_;
    ScanResult result_;
    std::unordered_set<std::wstring> classes_, typeLibs_;
    std::size_t total_ = 0, done_ = 0;
};

} // namespace

std::vector<ScanView> ViewsOfThisMachine() {
    if (platform::SixtyFourBitWindows())
        return {ScanView::Machine32, ScanView::Machine64, ScanView::User};
    return {ScanView::Machine32, ScanView::User};
}

const wchar_t* ViewName(ScanView view) {
    switch (view) {
    case ScanView::Machine32:
        return L"32-bit";
    case ScanView::Machine64:
        return L"64-bit";
    case ScanView::User:
        break;
    }
    return L"user";
}

const wchar_t* KindName(ScanKind kind) {
    switch (kind) {
    case ScanKind::ClassServer:
        return L"class server";
    case ScanKind::LocalServer:
        return L"local server";
    case ScanKind::ServerBitness:
        return L"bitness";
    case ScanKind::TypeLibFile:
        return L"type library";
    case ScanKind::ProgIdClass:
        return L"ProgID";
    case ScanKind::InterfaceTypeLib:
        return L"interface";
    case ScanKind::Link:
        break;
    }
    return L"link";
}

const wchar_t* StateName(ScanState state) {
    return state == ScanState::Unknown ? L"unknown" : L"broken";
}

bool HoldsSharedKeys(ScanView view) {
    return view == ScanView::User || view == NativeMachineView();
}

ViewPlace PlaceOf(ScanView view) {
    switch (view) {
    case ScanView::Machine32:
        return {registry::kHKeyLocalMachine, L"Software\\Classes", KEY_WOW64_32KEY};
    case ScanView::Machine64:
        return {registry::kHKeyLocalMachine, L"Software\\Classes", KEY_WOW64_64KEY};
    case ScanView::User:
        break;
    }
    // Named exactly: where the system keeps a 32-bit twin of the user's
    // classes, the one the name means is the 64-bit one.
    return {registry::kHKeyCurrentUser, L"Software\\Classes",
            platform::SixtyFourBitWindows() ? static_cast<std::uint32_t>(KEY_WOW64_64KEY) : 0u};
}

std::wstring RegistryPathOf(ScanView view, const std::wstring& key) {
    switch (view) {
    case ScanView::Machine32:
        return platform::SixtyFourBitWindows()
                   ? L"HKEY_LOCAL_MACHINE\\Software\\Classes\\Wow6432Node\\" + key
                   : L"HKEY_LOCAL_MACHINE\\Software\\Classes\\" + key;
    case ScanView::Machine64:
        return L"HKEY_LOCAL_MACHINE\\Software\\Classes\\" + key;
    case ScanView::User:
        break;
    }
    return L"HKEY_CURRENT_USER\\Software\\Classes\\" + key;
}

ScanResult ScanRegistrations(ServerFiles& files, const std::vector<ScanView>& views,
                             const ScanProgress& progress) {
    return Scanner(files, progress).Run(views);
}

std::optional<ScanEntry> RecheckEntry(ServerFiles& files, const std::vector<ScanView>& views,
                                      const ScanEntry& entry) {
    const std::optional<RegistryKey> classes = ClassesOf(entry.view);
    if (!classes)
        return std::nullopt;
    const Registered live = LiveRegistrations(views);
    std::vector<ScanEntry> now;
    Judge judge(files, live, now);
    const std::wstring top = Lower(entry.key.substr(0, entry.key.find(L'\\')));
    const std::wstring id = SecondName(entry.key);
    if (entry.kind == ScanKind::ProgIdClass)
        judge.ProgId(entry.view, *classes, entry.key);
    else if (top == L"clsid") {
        if (const std::optional<RegistryKey> clsid = classes->Sub(L"CLSID"))
            judge.Class(entry.view, *classes, *clsid, id);
    } else if (top == L"typelib") {
        if (const std::optional<RegistryKey> typeLibs = classes->Sub(L"TypeLib"))
            judge.TypeLib(entry.view, *typeLibs, id);
    } else if (top == L"interface") {
        if (const std::optional<RegistryKey> interfaces = classes->Sub(L"Interface"))
            judge.Interface(entry.view, *interfaces, id);
    }
    for (ScanEntry& held : now)
        if (held.kind == entry.kind && held.state == entry.state &&
            Lower(held.key) == Lower(entry.key))
            return std::move(held);
    return std::nullopt;
}

} // namespace calvorn::registration
