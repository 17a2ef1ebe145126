#include "registration/health/registration_scan.h"

#include "platform/error_record.h"
#include "platform/program_parts.h"
#include "registry/registry_accessor.h"
#include "registry/registry_key.h"

#include <windows.h>

#include <cwctype>
#include <optional>
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
    std::optional<std::wstring> text = key->Text();
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

// What one view holds, listed before anything is checked so that the
// progress knows its end and a ProgID can be checked against every class.
struct ViewListing {
    ScanView view;
    std::optional<RegistryKey> clsid, typeLib, interfaces, classes;
    std::vector<std::wstring> classIds, typeLibIds, interfaceIds, topNames;
};

ViewListing ListView(ScanView view) {
    ViewListing listing{view, {}, {}, {}, {}, {}, {}, {}, {}};
    const ViewPlace place = PlaceOf(view);
    listing.classes = RegistryKey::Open(place.root, place.classes, place.access);
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
        for (const ViewListing& listing : listings) {
            if (!CheckClasses(listing) || !CheckTypeLibs(listing) || !CheckProgIds(listing) ||
                !CheckInterfaces(listing)) {
                result_.cancelled = true;
                break;
            }
        }
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

    void Add(ScanView view, ScanKind kind, FileState state, std::wstring key, std::wstring detail) {
        result_.entries.push_back(
            {view, kind, state == FileState::Unknown ? ScanState::Unknown : ScanState::Broken,
             std::move(key), std::move(detail)});
    }

    bool CheckClasses(const ViewListing& listing) {
        const FileView fileView = FilesOf(listing.view);
        for (const std::wstring& id : listing.classIds) {
            if (!Step())
                return false;
            ++result_.checked;
            const std::wstring key = L"CLSID\\" + id;
            if (auto inproc = DefaultText(listing.clsid->Sub(id + L"\\InprocServer32"))) {
                const ServerFile file = files_.Resolve(*inproc, ServerValue::ModulePath, fileView);
                if (file.state != FileState::Present)
                    Add(listing.view, ScanKind::ClassServer, file.state, key, file.path);
                else if (listing.view != ScanView::User)
                    CheckBitness(listing.view, key, file.path);
            }
            if (auto local = DefaultText(listing.clsid->Sub(id + L"\\LocalServer32"))) {
                const ServerFile file = files_.Resolve(*local, ServerValue::CommandLine, fileView);
                if (file.state != FileState::Present)
                    Add(listing.view, ScanKind::LocalServer, file.state, key, file.path);
            }
        }
        return true;
    }

    void CheckBitness(ScanView view, const std::wstring& key, const std::wstring& path) {
        const FileBitness want =
            view == ScanView::Machine64 ? FileBitness::Bits64 : FileBitness::Bits32;
        const FileBitness is = files_.BitnessOf(path, FilesOf(view));
        if (is != FileBitness::Unknown && is != want)
            Add(view, ScanKind::ServerBitness, FileState::Missing, key,
                path + (is == FileBitness::Bits64 ? L" (64-bit)" : L" (32-bit)"));
    }

    struct PlatformFile {
        std::wstring key;
        ServerFile file;
    };

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

    bool CheckTypeLibs(const ViewListing& listing) {
        for (const std::wstring& id : listing.typeLibIds) {
            if (!Step())
                return false;
            const std::optional<RegistryKey> library = listing.typeLib->Sub(id);
            for (const std::wstring& version : SubkeysOf(library)) {
                ++result_.checked;
                const std::wstring versionKey = L"TypeLib\\" + id + L"\\" + version;
                const std::optional<RegistryKey> versionPlace = library->Sub(version);
                std::vector<PlatformFile> files;
                for (const std::wstring& locale : SubkeysOf(versionPlace)) {
                    const std::optional<RegistryKey> localePlace = versionPlace->Sub(locale);
                    for (const std::wstring& platform : SubkeysOf(localePlace)) {
                        const std::wstring name = Lower(platform);
                        if (name != L"win32" && name != L"win64")
                            continue;
                        if (auto value = DefaultText(localePlace->Sub(platform)))
                            files.push_back(
                                {versionKey + L"\\" + locale + L"\\" + platform,
                                 TypeLibFile(*value, name == L"win64" ? FileView::Bits64
                                                                      : FileView::Bits32)});
                    }
                }
                // A version none of whose files is there is gone as a whole;
                // else only the platform that lost its file.
                bool noneThere = !files.empty();
                for (const PlatformFile& file : files)
                    noneThere = noneThere && file.file.state == FileState::Missing;
                for (const PlatformFile& file : files)
                    if (file.file.state != FileState::Present)
                        Add(listing.view, ScanKind::TypeLibFile, file.file.state,
                            noneThere ? versionKey : file.key, file.file.path);
            }
        }
        return true;
    }

    bool CheckProgIds(const ViewListing& listing) {
        for (const std::wstring& name : listing.topNames) {
            if (!Step())
                return false;
            if (name.empty() || name.front() == L'.')
                continue;
            const std::optional<std::wstring> id =
                DefaultText(listing.classes->Sub(name + L"\\CLSID"));
            if (!id || !IsGuid(*id))
                continue;
            ++result_.checked;
            if (!classes_.contains(Lower(*id)))
                Add(listing.view, ScanKind::ProgIdClass, FileState::Missing, name, *id);
        }
        return true;
    }

    bool CheckInterfaces(const ViewListing& listing) {
        for (const std::wstring& id : listing.interfaceIds) {
            if (!Step())
                return false;
            ++result_.checked;
            const std::optional<std::wstring> library =
                DefaultText(listing.interfaces->Sub(id + L"\\TypeLib"));
            if (library && IsGuid(*library) && !typeLibs_.contains(Lower(*library)))
                Add(listing.view, ScanKind::InterfaceTypeLib, FileState::Missing,
                    L"Interface\\" + id, *library);
        }
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
        break;
    }
    return L"interface";
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

} // namespace calvorn::registration
