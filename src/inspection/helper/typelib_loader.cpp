#include "inspection/helper/typelib_loader.h"

#include "inspection/image_file.h"
#include "platform/path_forms.h"
#include "platform/per_user_classes.h"
#include "platform/proc_address.h"

#include <windows.h>

#include <oleauto.h>

#include <algorithm>
#include <cstdint>
#include <memory>

namespace calvorn::inspection {

namespace {

struct ReleaseTypeLib {
    void operator()(ITypeLib* lib) const noexcept { lib->Release(); }
};
using TypeLibPtr = std::unique_ptr<ITypeLib, ReleaseTypeLib>;

// The loader's library, bound on first use: most libraries are read from
// their header, and a run that never needs the loader never loads it.
template <typename Fn> Fn* Oleaut(const char* name) {
    return platform::SystemProc<Fn>(L"oleaut32.dll", name);
}

// Owns the strings GetDocumentation hands back.
struct Bstr {
    BSTR s = nullptr;
    ~Bstr() {
        static auto* const freeString = Oleaut<decltype(::SysFreeString)>("SysFreeString");
        if (s && freeString)
            freeString(s);
    }
    std::wstring Text() const {
        static auto* const length = Oleaut<decltype(::SysStringLen)>("SysStringLen");
        return s && length ? std::wstring(s, length(s)) : std::wstring();
    }
};

// The short (8.3) form of a path, without the "\\?\" it had to be asked
// with; empty when the file system keeps no short names.
std::wstring ShortForm(const std::wstring& path) {
    const std::wstring asked = platform::ExtendedPath(path);
    const DWORD need = ::GetShortPathNameW(asked.c_str(), nullptr, 0);
    if (need == 0)
        return {};
    std::wstring shortPath(need, L'\0');
    const DWORD got = ::GetShortPathNameW(asked.c_str(), shortPath.data(), need);
    if (got == 0 || got >= need)
        return {};
    shortPath.resize(got);
    return platform::PlainForm(shortPath);
}

ITypeLib* LoadLibraryOf(const std::wstring& path) {
    static auto* const loadTypeLibEx = Oleaut<decltype(::LoadTypeLibEx)>("LoadTypeLibEx");
    ITypeLib* lib = nullptr;
    if (!loadTypeLibEx || FAILED(loadTypeLibEx(path.c_str(), REGKIND_NONE, &lib)))
        return nullptr;
    return lib;
}

ITypeLib* LoadLibraryOfAnyLength(const std::wstring& path) {
    if (path.empty())
        return nullptr;
    ITypeLib* raw = LoadLibraryOf(path);
    // The loader fails on paths of MAX_PATH characters and more; the short
    // form names the same file in fewer.
    if (!raw && path.size() >= MAX_PATH) {
        const std::wstring shortPath = ShortForm(path);
        if (!shortPath.empty() && shortPath != path)
            raw = LoadLibraryOf(shortPath);
    }
    return raw;
}

struct ReleaseTypeInfo {
    void operator()(ITypeInfo* info) const noexcept { info->Release(); }
};
using TypeInfoPtr = std::unique_ptr<ITypeInfo, ReleaseTypeInfo>;

std::optional<LibraryType> RegisteredType(ITypeInfo& info) {
    TYPEATTR* attr = nullptr;
    if (FAILED(info.GetTypeAttr(&attr)) || !attr)
        return std::nullopt;
    const TYPEKIND kind = attr->typekind;
    const WORD flags = attr->wTypeFlags;
    wchar_t guid[40] = {};
    ::StringFromGUID2(attr->guid, guid, 40);
    info.ReleaseTypeAttr(attr);
    const RegisteredKind registered = RegisteredKindOf(kind, flags);
    if (registered == RegisteredKind::None)
        return std::nullopt;
    const bool isClass = registered == RegisteredKind::Class;
    Bstr name;
    if (FAILED(info.GetDocumentation(MEMBERID_NIL, &name.s, nullptr, nullptr, nullptr)))
        name.s = nullptr;
    return LibraryType{isClass, guid, name.Text()};
}

} // namespace

std::optional<std::vector<LibraryType>> LoadLibraryTypes(const std::wstring& path) {
    ITypeLib* raw = LoadLibraryOfAnyLength(path);
    if (!raw)
        return std::nullopt;
    TypeLibPtr lib(raw);
    std::vector<LibraryType> types;
    // Bounded: a damaged count must not keep the helper busy.
    const UINT count = std::min<UINT>(lib->GetTypeInfoCount(), 65536);
    for (UINT i = 0; i < count; ++i) {
        ITypeInfo* info = nullptr;
        if (FAILED(lib->GetTypeInfo(i, &info)) || !info)
            continue;
        TypeInfoPtr owned(info);
        if (auto type = RegisteredType(*info))
            types.push_back(std::move(*type));
    }
    return types;
}

std::optional<TypeLibInfo> LoadTypeLibInfo(const std::wstring& path) {
    ITypeLib* raw = LoadLibraryOfAnyLength(path);
    if (!raw)
        return std::nullopt;
    TypeLibPtr lib(raw);

    TLIBATTR* attr = nullptr;
    if (FAILED(lib->GetLibAttr(&attr)) || !attr)
        return std::nullopt;
    wchar_t guid[40] = {};
    ::StringFromGUID2(attr->guid, guid, 40);
    const std::uint16_t major = attr->wMajorVerNum;
    const std::uint16_t minor = attr->wMinorVerNum;
    const std::uint32_t lcid = attr->lcid;
    const int syskind = attr->syskind;
    lib->ReleaseTLibAttr(attr);

    Bstr name, doc;
    if (FAILED(lib->GetDocumentation(MEMBERID_NIL, &name.s, &doc.s, nullptr, nullptr)))
        return TypeLibInfo::FromFields(guid, major, minor, lcid, syskind, {}, {});
    return TypeLibInfo::FromFields(guid, major, minor, lcid, syskind, name.Text(), doc.Text());
}

// The calls for one user, as the system declares them (not in every header).
using RegisterForUser = HRESULT WINAPI(ITypeLib*, OLECHAR*, OLECHAR*);
using UnregisterForUser = HRESULT WINAPI(REFGUID, WORD, WORD, LCID, SYSKIND);

long RegisterLibraryOf(const std::wstring& path, bool unregister, bool perUser) {
    ITypeLib* raw = LoadLibraryOfAnyLength(path);
    if (!raw)
        return TYPE_E_CANTLOADLIBRARY;
    TypeLibPtr lib(raw);
    // The user's classes stand in for the machine's while the call writes,
    // as they do for a component registered for one user.
    const platform::PerUserClasses userClasses(perUser);
    if (!userClasses.Ready())
        return E_ACCESSDENIED;
    if (!unregister) {
        if (perUser) {
            static auto* const forUser = Oleaut<RegisterForUser>("RegisterTypeLibForUser");
            return forUser ? forUser(lib.get(), const_cast<wchar_t*>(path.c_str()), nullptr)
                           : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
        }
        static auto* const forMachine = Oleaut<decltype(::RegisterTypeLib)>("RegisterTypeLib");
        return forMachine ? forMachine(lib.get(), const_cast<wchar_t*>(path.c_str()), nullptr)
                          : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    }
    TLIBATTR* attr = nullptr;
    if (FAILED(lib->GetLibAttr(&attr)) || !attr)
        return TYPE_E_CANTLOADLIBRARY;
    const TLIBATTR copy = *attr;
    lib->ReleaseTLibAttr(attr);
    if (perUser) {
        static auto* const forUser = Oleaut<UnregisterForUser>("UnRegisterTypeLibForUser");
        return forUser ? forUser(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid,
                                 copy.syskind)
                       : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    }
    static auto* const forMachine = Oleaut<decltype(::UnRegisterTypeLib)>("UnRegisterTypeLib");
    return forMachine ? forMachine(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid,
                                   copy.syskind)
                      : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

} // namespace calvorn::inspection
