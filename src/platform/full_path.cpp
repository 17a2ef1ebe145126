// The parts of the path rules that ask the platform.

#include "platform/path_forms.h"

#include <windows.h>

namespace calvorn::platform {

std::wstring FullPath(const std::wstring& path) {
    DWORD need = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (need == 0)
        return {};
    std::wstring full(need, L'\0');
    DWORD got = ::GetFullPathNameW(path.c_str(), need, full.data(), nullptr);
    if (got == 0 || got >= need)
        return {};
    full.resize(got);
    return full;
}

std::wstring ExtendedPath(const std::wstring& path) {
    // A folder name must leave room for an 8.3 file name below MAX_PATH.
    constexpr size_t kShortEnough = MAX_PATH - 12;
    if (path.size() < kShortEnough || path.rfind(L"\\\\?\\", 0) == 0 ||
        path.rfind(L"\\\\.\\", 0) == 0)
        return path;
    std::wstring full = FullPath(path);
    return full.empty() ? path : ExtendedForm(full);
}

} // namespace calvorn::platform
