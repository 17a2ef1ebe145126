// Binding of the deferred imports (see deferred_imports.inc): a quiet run or
// a switch action never loads what only the main window needs, and the
// window's first paint does not wait for what only later work needs.

#include "platform/proc_address.h"

#include <windows.h>

#include <iterator>

namespace {

enum Dll : unsigned char {
    COMCTL32,
    GDI32,
    MSIMG32,
    OLE32,
    OLEACC,
    OLEAUT32,
    SHLWAPI,
    USER32,
    UXTHEME,
    VERSION
};

const wchar_t* const kDllNames[] = {L"comctl32.dll", L"gdi32.dll",    L"msimg32.dll", L"ole32.dll",
                                    L"oleacc.dll",   L"oleaut32.dll", L"shlwapi.dll", L"user32.dll",
                                    L"uxtheme.dll",  L"version.dll"};

struct DeferredImport {
    Dll dll;
    const char* name;
};

constexpr DeferredImport kImports[] = {
#define DEFERRED_IMPORT(dll, name, bytes) {dll, #name},
#include "app/entry/deferred_imports.inc"
#undef DEFERRED_IMPORT
};

// What the platform's own delay-load helper raises, so that a debugger or a
// crash report reads it the same way.
constexpr DWORD kModuleMissing = 0xC06D007E;
constexpr DWORD kProcedureMissing = 0xC06D007F;

HMODULE LoadDll(Dll dll) {
    // The common controls by name alone: the name is what the program's
    // manifest redirects to version 6; the search is limited to the system
    // folder from the entry point on.
    if (dll == COMCTL32)
        return ::LoadLibraryW(kDllNames[dll]);
    if (dll == USER32)
        // The theme engine that windows bring in binds msimg32 by name on
        // its first drawing, and Wine's delay-load of it searches the
        // program's folder whatever the process restricted. Loaded from the
        // system folder first, it is found already loaded.
        calvorn::platform::SystemModule(kDllNames[MSIMG32]);
    return calvorn::platform::SystemModule(kDllNames[dll]);
}

} // namespace

// The pointers of the stubs, in the order of the list.
extern "C" void* calvorn_deferred_slots[];

namespace {

// What each import was bound to. The compiler takes an import's pointer for
// a constant and may read it once, before a loop, while it still points at
// the binding stub: such a caller comes back here on every call and is sent
// on at once.
void* g_bound[std::size(kImports)];

} // namespace

extern "C" void* calvorn_bind_deferred_import(unsigned number) {
    if (number >= std::size(kImports))
        ::RaiseException(kProcedureMissing, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    if (void* bound = __atomic_load_n(&g_bound[number], __ATOMIC_ACQUIRE))
        return bound;
    const DeferredImport& import = kImports[number];
    HMODULE module = LoadDll(import.dll);
    if (!module)
        ::RaiseException(kModuleMissing, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    FARPROC address = ::GetProcAddress(module, import.name);
    if (!address)
        ::RaiseException(kProcedureMissing, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    void* function = reinterpret_cast<void*>(address);
    // Another thread may bind the same import at once; both store the same.
    __atomic_store_n(&g_bound[number], function, __ATOMIC_RELEASE);
    __atomic_store_n(&calvorn_deferred_slots[number], function, __ATOMIC_RELEASE);
    return function;
}
