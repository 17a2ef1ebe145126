#pragma once
// The first call of every program of ours, before anything else loads a DLL.
// Without it a system DLL that loads another by name looks in the program's
// folder first, so a "version.dll" or "uxtheme.dll" put beside a downloaded
// copy would run inside the program. Header-only: the small helper programs
// link nothing else of ours.

#include <windows.h>

namespace calvorn::platform {

// True when the search is restricted; false on a system without the call,
// where at least the current folder leaves the search.
inline bool RestrictDllSearchToSystemFolder() noexcept {
    // Looked up rather than imported: Windows 7 has it only with a later
    // update, and a missing import would keep the program from starting.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    FARPROC raw = kernel ? ::GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wcast-function-type"
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(raw);
#pragma GCC diagnostic pop
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return true;
    ::SetDllDirectoryW(L"");
    return false;
}

} // namespace calvorn::platform
