#include "inspection/typelib_info.h"

#include <windows.h>

#include <oleauto.h>

#include <cwchar>
#include <memory>

namespace calvorn::inspection {

namespace {

struct ReleaseTypeLib {
    void operator()(ITypeLib* lib) const noexcept { lib->Release(); }
};
using TypeLibPtr = std::unique_ptr<ITypeLib, ReleaseTypeLib>;

// Owns the strings GetDocumentation hands back.
struct Bstr {
    BSTR s = nullptr;
    ~Bstr() { ::SysFreeString(s); }
    std::wstring Text() const { return s ? std::wstring(s, ::SysStringLen(s)) : std::wstring(); }
};

} // namespace

std::optional<TypeLibInfo> TypeLibInfo::Open(const std::wstring& path) {
    if (path.empty())
        return std::nullopt;
    ITypeLib* raw = nullptr;
    if (FAILED(::LoadTypeLibEx(path.c_str(), REGKIND_NONE, &raw)) || !raw)
        return std::nullopt;
    TypeLibPtr lib(raw);

    TLIBATTR* attr = nullptr;
    if (FAILED(lib->GetLibAttr(&attr)) || !attr)
        return std::nullopt;
    wchar_t guid[40] = {};
    ::StringFromGUID2(attr->guid, guid, 40);
    TypeLibInfo info;
    info.guid_ = guid;
    info.major_ = attr->wMajorVerNum;
    info.minor_ = attr->wMinorVerNum;
    info.lcid_ = attr->lcid;
    info.syskind_ = attr->syskind;
    lib->ReleaseTLibAttr(attr);

    Bstr name, doc;
    if (SUCCEEDED(lib->GetDocumentation(MEMBERID_NIL, &name.s, &doc.s, nullptr, nullptr))) {
        info.name_ = name.Text();
        info.helpString_ = doc.Text();
    }
    return info;
}

bool TypeLibInfo::IsSameLibrary(const TypeLibInfo& other) const {
    return _wcsicmp(guid_.c_str(), other.guid_.c_str()) == 0 && major_ == other.major_ &&
           minor_ == other.minor_ && lcid_ == other.lcid_ && syskind_ == other.syskind_;
}

std::wstring VersionKeyName(std::uint16_t major, std::uint16_t minor) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%x.%x", static_cast<unsigned>(major), static_cast<unsigned>(minor));
    return text;
}

std::wstring VersionText(std::uint16_t major, std::uint16_t minor) {
    return std::to_wstring(major) + L"." + std::to_wstring(minor);
}

} // namespace calvorn::inspection
