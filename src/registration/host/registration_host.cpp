// calvorn-reghost32.exe / calvorn-reghost64.exe: the process in which a
// component's self-registration code runs, so that nothing the component
// does (crash, hang, end the process, leave threads behind, undo OLE) can take
// the program down or reach the next component: each host serves one
// request and ends. Requests and reports go over the two pipe handles named
// on its command line, never over its standard handles, which a component
// may print to. It is started for every registration, so it uses little
// beyond the system: no C++ library, one small class of ours.

#include "platform/dll_search.h"
#include "platform/per_user_classes.h"
#include "platform/proc_address.h"
#include "registration/host_protocol.h"

#include <windows.h>

#include <ole2.h>

#include <cstdlib>
#include <cwchar>

namespace {

using namespace calvorn::registration::host;
using calvorn::platform::GetProc;

// The component's own imports come from its folder and the system's, never
// from ours: a DLL planted beside the host is not loaded into it.
constexpr DWORD kComponentSearch = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;
bool g_searchRestricted = false;

HANDLE g_out = INVALID_HANDLE_VALUE;
// Set while an entry point runs, for the loader-lock watch.
HANDLE g_calling = nullptr;
wchar_t g_path[kMaxPathChars + 1];
wchar_t g_scratch[kMaxScratchChars + 1];

void Send(ReportKind kind, std::uint32_t value = 0) {
    const Report report{kind, value};
    DWORD written = 0;
    ::WriteFile(g_out, &report, sizeof report, &written, nullptr);
}

// Whatever the component left unhandled, on any thread: the program hears the
// code and the host goes, with nothing of the component's run after it.
LONG WINAPI CrashFilter(EXCEPTION_POINTERS* info) {
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    Send(ReportKind::Crashed, code);
    ::TerminateProcess(::GetCurrentProcess(), code);
    return EXCEPTION_EXECUTE_HANDLER;
}

using LdrLockLoaderLockFn = LONG NTAPI(ULONG flags, ULONG* disposition, ULONG_PTR* cookie);
using LdrUnlockLoaderLockFn = LONG NTAPI(ULONG flags, ULONG_PTR cookie);
constexpr ULONG kTryOnly = 2;
constexpr ULONG kAcquired = 1;
constexpr DWORD kWatchStepMs = 250;
constexpr int kHeldSteps = 4;

// An entry point that sits on the loader lock stops everything else in the
// process too; telling the program so lets it say why the host had to go.
DWORD WINAPI LoaderLockWatch(void*) {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    auto* lock = GetProc<LdrLockLoaderLockFn>(ntdll, "LdrLockLoaderLock");
    auto* unlock = GetProc<LdrUnlockLoaderLockFn>(ntdll, "LdrUnlockLoaderLock");
    if (!lock || !unlock)
        return 0;
    for (;;) {
        ::WaitForSingleObject(g_calling, INFINITE);
        int held = 0;
        while (::WaitForSingleObject(g_calling, 0) == WAIT_OBJECT_0) {
            ::Sleep(kWatchStepMs);
            ULONG disposition = 0;
            ULONG_PTR cookie = 0;
            if (lock(kTryOnly, &disposition, &cookie) != 0)
                break;
            if (disposition == kAcquired) {
                unlock(0, cookie);
                held = 0;
            } else if (++held == kHeldSteps) {
                Send(ReportKind::LoaderLockHeld);
            }
        }
    }
}

using NtGetNextThreadFn = LONG NTAPI(HANDLE process, HANDLE thread, ACCESS_MASK access,
                                     ULONG attributes, ULONG flags, HANDLE* next);

// Threads of this process that still run; -1 when the system cannot tell.
// Walking our own threads asks the system a few small questions; a snapshot
// of every thread of every process costs milliseconds per component.
int CountOwnThreads() {
    static auto* const nextThread =
        GetProc<NtGetNextThreadFn>(::GetModuleHandleW(L"ntdll.dll"), "NtGetNextThread");
    if (!nextThread)
        return -1;
    int count = 0;
    HANDLE thread = nullptr;
    HANDLE next = nullptr;
    while (nextThread(::GetCurrentProcess(), thread, SYNCHRONIZE, 0, 0, &next) == 0) {
        if (thread)
            ::CloseHandle(thread);
        thread = next;
        // An ended thread may linger while something holds a handle to it.
        count += ::WaitForSingleObject(thread, 0) == WAIT_TIMEOUT;
    }
    if (thread)
        ::CloseHandle(thread);
    return count;
}

bool ReadExact(HANDLE in, void* buffer, DWORD size) {
    auto* at = static_cast<char*>(buffer);
    while (size > 0) {
        DWORD got = 0;
        if (!::ReadFile(in, at, size, &got, nullptr) || got == 0)
            return false;
        at += got;
        size -= got;
    }
    return true;
}

using EntryPointFn = HRESULT STDAPICALLTYPE();

// A full path lets the component find its own dependencies beside it; a bare
// name is found by the loader's search order.
HMODULE LoadComponent() {
    if (!std::wcspbrk(g_path, L"\\/"))
        return ::LoadLibraryW(g_path);
    if (!g_searchRestricted)
        return ::LoadLibraryExW(g_path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    // The search by the DLL's folder takes a full path with backslashes only.
    static wchar_t full[kMaxPathChars + 1];
    const DWORD n = ::GetFullPathNameW(g_path, kMaxPathChars + 1, full, nullptr);
    return ::LoadLibraryExW(n > 0 && n <= kMaxPathChars ? full : g_path, nullptr, kComponentSearch);
}

// "<program> <requests> <reports>": the handle values of the channel, which
// this process inherited.
bool ChannelOf(HANDLE& requests, HANDLE& reports) {
    const wchar_t* at = ::GetCommandLineW();
    if (*at == L'"') {
        at = std::wcschr(at + 1, L'"');
        if (!at)
            return false;
        ++at;
    } else {
        while (*at && *at != L' ')
            ++at;
    }
    unsigned long long values[2] = {0, 0};
    for (unsigned long long& value : values) {
        while (*at == L' ')
            ++at;
        if (*at < L'0' || *at > L'9')
            return false;
        for (; *at >= L'0' && *at <= L'9'; ++at)
            value = value * 10 + static_cast<unsigned>(*at - L'0');
    }
    requests = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(values[0]));
    reports = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(values[1]));
    // Never a standard handle: there a component's printing would mix in.
    for (DWORD standard : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE taken = ::GetStdHandle(standard);
        if (taken && (taken == requests || taken == reports))
            return false;
    }
    return ::GetFileType(requests) == FILE_TYPE_PIPE && ::GetFileType(reports) == FILE_TYPE_PIPE;
}

HMODULE LoadSystemDll(const wchar_t* name) {
    return g_searchRestricted ? ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)
                              : ::LoadLibraryW(name);
}

HRESULT InitialiseOle() {
    HMODULE ole = LoadSystemDll(L"ole32.dll");
    auto* initialise = ole ? GetProc<decltype(::OleInitialize)>(ole, "OleInitialize") : nullptr;
    // Nearly every component registers a type library through OLE
    // Automation: loaded now, while the program still waits for the
    // component before, not on the component's time.
    LoadSystemDll(L"oleaut32.dll");
    return initialise ? initialise(nullptr) : E_UNEXPECTED;
}

// Every predefined root the component can write through points into the
// scratch key from now on. All are opened before any is redirected: the
// scratch key itself lives under HKEY_CURRENT_USER. The handles stay open for
// the life of this process.
DWORD RedirectRootsIntoScratch() {
    constexpr int kRoots = 5;
    const HKEY roots[kRoots] = {HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER,
                                HKEY_USERS, HKEY_CURRENT_CONFIG};
    const wchar_t* const names[kRoots] = {kCaptureRootNames[0], kCaptureRootNames[1],
                                          kCaptureRootNames[2], kCaptureRootNames[3],
                                          kCaptureConfigName};
    HKEY opened[kRoots] = {};
    for (int i = 0; i < kRoots; ++i) {
        wchar_t path[kMaxScratchChars + 16];
        std::wcscpy(path, g_scratch);
        std::wcscat(path, L"\\");
        std::wcscat(path, names[i]);
        if (const LONG error =
                ::RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, &opened[i]))
            return static_cast<DWORD>(error);
    }
    for (int i = 0; i < kRoots; ++i)
        if (const LONG error = ::RegOverridePredefKey(roots[i], opened[i]))
            return static_cast<DWORD>(error);
    return ERROR_SUCCESS;
}

void Serve(const Request& request) {
    const bool capture = request.kind == RequestKind::Capture;
    calvorn::platform::PerUserClasses perUser(!capture && (request.flags & kPerUser) != 0);
    if (!perUser.Ready()) {
        Send(ReportKind::PerUserFailed, ERROR_ACCESS_DENIED);
        return;
    }
    if (capture) {
        if (const DWORD error = RedirectRootsIntoScratch()) {
            Send(ReportKind::CaptureFailed, error);
            return;
        }
    }
    const int threadsBefore = CountOwnThreads();
    HMODULE module = LoadComponent();
    if (!module) {
        Send(ReportKind::LoadFailed, ::GetLastError());
        return;
    }
    Send(ReportKind::Loaded);
    auto* entry = GetProc<EntryPointFn>(module, request.kind != RequestKind::Unregister
                                                    ? "DllRegisterServer"
                                                    : "DllUnregisterServer");
    if (entry) {
        ::SetEvent(g_calling);
        HRESULT result = entry();
        ::ResetEvent(g_calling);
        Send(ReportKind::Returned, static_cast<std::uint32_t>(result));
    } else {
        Send(ReportKind::NoEntryPoint);
    }
    const int threadsAfter = CountOwnThreads();
    if (threadsBefore < 0 || threadsAfter != threadsBefore) {
        // Threads of the component still run its code: the module cannot be
        // unloaded under them, and this process is no longer a clean one.
        Send(ReportKind::Done, 0);
        ::TerminateProcess(::GetCurrentProcess(), 0);
    }
    ::FreeLibrary(module);
    Send(ReportKind::Done, 1);
}

} // namespace

// A windows-subsystem program: a console one would be given a console
// (under Wine a console host process) that nobody looks at.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // From here on the host's own folder is no place to load from.
    g_searchRestricted = calvorn::platform::RestrictDllSearchToSystemFolder();
    // No system dialogs: this process has no user to answer them. Nor the C
    // runtime's box on an abort (a C++ exception nothing caught): its words
    // go to the host's output, which the program keeps.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    ::_set_error_mode(_OUT_TO_STDERR);
    ::SetUnhandledExceptionFilter(CrashFilter);
    HANDLE in = nullptr;
    if (!ChannelOf(in, g_out))
        return ERROR_INVALID_PARAMETER; // not started by the program: nothing to serve
    g_calling = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (HANDLE watch = ::CreateThread(nullptr, 64 * 1024, LoaderLockWatch, nullptr,
                                      STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr))
        ::CloseHandle(watch);
    // Servers expect what the platform's own registration tool gives them.
    InitialiseOle();
    // The component's time starts now, not while this process was starting.
    Send(ReportKind::Ready);

    // One request: whatever the component did to this process stays here.
    Request request{};
    if (ReadExact(in, &request, sizeof request) && request.pathChars != 0 &&
        request.pathChars <= kMaxPathChars &&
        ReadExact(in, g_path, request.pathChars * sizeof(wchar_t)) &&
        (request.kind != RequestKind::Capture ||
         (request.scratchChars != 0 && request.scratchChars <= kMaxScratchChars &&
          ReadExact(in, g_scratch, request.scratchChars * sizeof(wchar_t))))) {
        g_path[request.pathChars] = L'\0';
        if (request.kind == RequestKind::Capture)
            g_scratch[request.scratchChars] = L'\0';
        Serve(request);
    }
    // Everything is reported and the component is unloaded. An orderly exit
    // would run the detach code of every system DLL that OLE brought in,
    // which under Wine costs more than this whole host's start.
    ::TerminateProcess(::GetCurrentProcess(), 0);
    return 0;
}
