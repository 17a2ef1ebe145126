#pragma once
// GetProcAddress with the function type stated once, at the call.

#include <windows.h>

namespace calvorn::platform {

template <typename Fn> Fn* GetProc(HMODULE module, const char* name) noexcept {
    FARPROC raw = ::GetProcAddress(module, name);
    if (!raw)
        return nullptr;
        // FARPROC is a generic function pointer; the caller states the real type.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wcast-function-type"
    return reinterpret_cast<Fn*>(raw);
#pragma GCC diagnostic pop
}

// A function of a system DLL that is loaded when the function is first
// asked for, and stays loaded: the runs that never need it never pay for
// the DLL (the file dialog's comdlg32 costs several megabytes at start-up).
// nullptr when the DLL or the function is not there.
HMODULE SystemModule(const wchar_t* dll) noexcept;

template <typename Fn> Fn* SystemProc(const wchar_t* dll, const char* name) noexcept {
    HMODULE module = SystemModule(dll);
    return module ? GetProc<Fn>(module, name) : nullptr;
}

} // namespace calvorn::platform
