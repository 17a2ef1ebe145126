#include "platform/system_view_path.h"

#include <windows.h>

namespace calvorn::platform {

namespace {

bool SameFolderText(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

} // namespace

std::wstring ThirtyTwoBitViewPath(const std::wstring& path) {
    wchar_t system[MAX_PATH], wow[MAX_PATH];
    const UINT s = ::GetSystemDirectoryW(system, MAX_PATH);
    // Fails on 32-bit Windows, which has the one system folder.
    const UINT w = ::GetSystemWow64DirectoryW(wow, MAX_PATH);
    if (s && s < MAX_PATH && w && w < MAX_PATH && path.size() > s && path[s] == L'\\' &&
        SameFolderText(path.substr(0, s), std::wstring(system, s)))
        return std::wstring(wow, w) + path.substr(s);
    return path;
}

} // namespace calvorn::platform
