#include "support/in_process_typelib.h"

#include <windows.h>

#include <oleauto.h>

namespace calvorn::test {

std::optional<inspection::TypeLibInfo> LoadTypeLibInProcess(const std::wstring& path) {
    ITypeLib* lib = nullptr;
    if (path.empty() || FAILED(::LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib)) || !lib)
        return std::nullopt;
    std::optional<inspection::TypeLibInfo> info;
    TLIBATTR* attr = nullptr;
    if (SUCCEEDED(lib->GetLibAttr(&attr)) && attr) {
        wchar_t guid[40] = {};
        ::StringFromGUID2(attr->guid, guid, 40);
        BSTR name = nullptr;
        BSTR doc = nullptr;
        lib->GetDocumentation(MEMBERID_NIL, &name, &doc, nullptr, nullptr);
        info = inspection::TypeLibInfo::FromFields(
            guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind,
            name ? std::wstring(name, ::SysStringLen(name)) : std::wstring(),
            doc ? std::wstring(doc, ::SysStringLen(doc)) : std::wstring());
        ::SysFreeString(name);
        ::SysFreeString(doc);
        lib->ReleaseTLibAttr(attr);
    }
    lib->Release();
    return info;
}

} // namespace calvorn::test
