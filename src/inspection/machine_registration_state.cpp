#include "inspection/machine_registration_state.h"

#include "inspection/image_file.h"
#include "inspection/typelib_info.h"
#include "inspection/version_fields.h"
#include "platform/disk_file.h"
#include "platform/path_forms.h"
#include "platform/system_view_path.h"
#include "platform/unique_handle.h"
#include "registry/open_key_reads.h"

#include <windows.h>

#include <cwchar>

namespace calvorn::inspection {

namespace {

const std::wstring kClasses = L"Software\\Classes\\";

platform::UniqueHKey OpenIn(ClassesPlace place, bool component64Bit, const std::wstring& key) {
    REGSAM access = KEY_QUERY_VALUE;
    HKEY root = HKEY_CURRENT_USER;
    if (place != ClassesPlace::User) {
        root = HKEY_LOCAL_MACHINE;
        const bool view64 = (place == ClassesPlace::OwnView) == component64Bit;
        access |= view64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    }
    platform::UniqueHKey opened;
    if (::RegOpenKeyExW(root, (kClasses + key).c_str(), 0, access, opened.put()) != ERROR_SUCCESS)
        return {};
    return opened;
}

bool IsExe(const std::wstring& path) {
    return path.size() >= 4 && _wcsicmp(path.c_str() + path.size() - 4, L".exe") == 0;
}

std::wstring HexText(std::uint32_t value) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%x", static_cast<unsigned>(value));
    return text;
}

} // namespace

bool MachineRegistrationState::HasKey(ClassesPlace place, const std::wstring& key) const {
    return static_cast<bool>(OpenIn(place, component64Bit_, key));
}

std::optional<std::wstring> MachineRegistrationState::Value(ClassesPlace place,
                                                            const std::wstring& key,
                                                            const std::wstring& name) const {
    const platform::UniqueHKey opened = OpenIn(place, component64Bit_, key);
    if (!opened)
        return std::nullopt;
    std::int32_t type = 0;
    auto value = registry::ReadOpenKeyValue(opened.get(), name.c_str(), type);
    if (!value)
        return std::nullopt;
    return registry::ValueAsText(*value);
}

std::wstring MachineRegistrationState::Resolved(const std::wstring& path) const {
    auto known = resolved_.find(path);
    if (known == resolved_.end())
        known = resolved_.emplace(path, ResolvedNow(path)).first;
    return known->second;
}

std::wstring MachineRegistrationState::ResolvedNow(const std::wstring& path) const {
    std::wstring expanded = path;
    if (path.find(L'%') != std::wstring::npos) {
        const DWORD need = ::ExpandEnvironmentStringsW(path.c_str(), nullptr, 0);
        if (need > 0) {
            std::wstring buffer(need, L'\0');
            const DWORD got = ::ExpandEnvironmentStringsW(path.c_str(), buffer.data(), need);
            if (got > 0 && got <= need)
                expanded = buffer.substr(0, got - 1);
        }
    }
    // "." and ".." and "/" are taken away by name before the file is looked
    // for; a 32-bit component's system folder is the 32-bit one.
    if (platform::IsAbsolutePath(expanded)) {
        const std::wstring full = platform::FullPath(expanded);
        if (!full.empty())
            expanded = full;
    }
    if (!component64Bit_)
        expanded = platform::ThirtyTwoBitViewPath(expanded);
    // A short (8.3) name and its long form are one file to the loader.
    const std::wstring asked = platform::ExtendedPath(expanded);
    const DWORD need = ::GetLongPathNameW(asked.c_str(), nullptr, 0);
    if (need == 0)
        return expanded;
    std::wstring longPath(need, L'\0');
    const DWORD got = ::GetLongPathNameW(asked.c_str(), longPath.data(), need);
    if (got == 0 || got >= need)
        return expanded;
    longPath.resize(got);
    return platform::PlainForm(longPath);
}

bool MachineRegistrationState::FileExists(const std::wstring& path) const {
    auto known = exists_.find(path);
    if (known == exists_.end()) {
        const DWORD attributes = platform::Attributes(path);
        known = exists_
                    .emplace(path, attributes != INVALID_FILE_ATTRIBUTES &&
                                       !(attributes & FILE_ATTRIBUTE_DIRECTORY))
                    .first;
    }
    return known->second;
}

std::wstring MachineRegistrationState::FileVersion(const std::wstring& path) const {
    auto known = versions_.find(path);
    if (known == versions_.end()) {
        VersionFields fields;
        fields.SelectFile(path);
        known = versions_.emplace(path, fields.FileVerEx).first;
    }
    return known->second;
}

std::optional<ExpectedRegistration> ExpectedFromTypeLibrary(const std::wstring& path) {
    return ExpectedFromTypeLibrary(path, ReadTypeLibHeaderOf(path));
}

std::optional<ExpectedRegistration>
ExpectedFromTypeLibrary(const std::wstring& path, const std::optional<TypeLibHeader>& header) {
    // A header the reader declined is the loader's to read, in its process.
    const std::optional<TypeLibInfo> lib =
        header ? TypeLibInfo::FromTypeLibHeader(*header) : TypeLibInfo::Open(path);
    if (!lib)
        return std::nullopt;
    ExpectedRegistration expected;
    expected.file = path;
    expected.source = EntrySource::TypeLibrary;
    // A library file alone (a .tlb, an .olb) is registered as a library:
    // its classes are served by modules of their own, registered apart.
    const bool libraryFile =
        IsTypeLibraryFile(path) || ReadModuleFactsOf(path).read != ModuleRead::Read;
    expected.is64Bit = libraryFile ? lib->TargetPlatform() == L"win64"
                                   : TypeLibInfo::ReaderBitness(path) == platform::Bitness::x64;
    std::vector<ExpectedEntry> interfaces;
    for (const LibraryType& type :
         libraryFile ? std::vector<LibraryType>() : LibraryTypesOf(path, header)) {
        if (type.isClass)
            expected.entries.push_back({EntryKind::Class,
                                        type.guid,
                                        type.name,
                                        IsExe(path) ? L"LocalServer32" : L"InprocServer32",
                                        {}});
        else
            interfaces.push_back({EntryKind::Interface, type.guid, type.name, lib->Guid(), {}});
    }
    expected.entries.push_back({EntryKind::TypeLib,
                                lib->Guid(),
                                lib->Name(),
                                VersionKeyName(lib->MajorVersion(), lib->MinorVersion()) + L"\\" +
                                    HexText(lib->Lcid()) + L"\\" + lib->TargetPlatform(),
                                {}});
    for (ExpectedEntry& entry : interfaces)
        expected.entries.push_back(std::move(entry));
    return expected;
}

std::wstring RegistrationWordOf(const std::wstring& path,
                                const std::optional<TypeLibHeader>& header) {
    try {
        const std::optional<ExpectedRegistration> expected = ExpectedFromTypeLibrary(path, header);
        if (!expected)
            return {};
        const MachineRegistrationState state(expected->is64Bit);
        return VerdictWord(CheckRegistration(*expected, state).verdict);
    } catch (...) {
        return {};
    }
}

} // namespace calvorn::inspection
