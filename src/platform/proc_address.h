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

} // namespace calvorn::platform
