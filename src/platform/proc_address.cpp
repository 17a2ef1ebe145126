#include "platform/proc_address.h"

#include <new>
#include <string>

namespace calvorn::platform {

HMODULE SystemModule(const wchar_t* dll) noexcept {
    if (HMODULE loaded = ::GetModuleHandleW(dll))
        return loaded;
    // From the system folder only, never from the current or program folder.
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    try {
        std::wstring path(folder, length);
        path += L'\\';
        path += dll;
        return ::LoadLibraryW(path.c_str());
    } catch (const std::bad_alloc&) {
        // The caller takes it for a module that did not load, and says why.
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

} // namespace calvorn::platform
