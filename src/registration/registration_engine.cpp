#include "registration/registration_engine.h"

#include "platform/proc_address.h"
#include "platform/text.h"
#include "platform/unique_handle.h"

#include <windows.h>

#include <ole2.h>

#include <cstdio>
#include <new>

namespace calvorn::registration {
namespace {

using EntryPointFn = HRESULT STDAPICALLTYPE();

// Shared between the calling thread and its worker. Two references: the
// last one to let go frees the module, so a worker that outlives the wait
// keeps its code loaded until it returns.
struct Worker {
    volatile LONG refs = 2;
    HMODULE module = nullptr;
    EntryPointFn* entry = nullptr;
    HRESULT result = E_UNEXPECTED;
    volatile LONG finished = 0;
    DWORD exceptionCode = 0;
    volatile LONG crashed = 0;
};

void Release(Worker* worker) {
    if (::InterlockedDecrement(&worker->refs) != 0)
        return;
    // A module that crashed may have left anything behind; running its
    // detach code could bring the crash onto the calling thread.
    if (!worker->crashed)
        ::FreeLibrary(worker->module);
    delete worker;
}

DWORD g_workerSlot = TLS_OUT_OF_INDEXES;
LPTOP_LEVEL_EXCEPTION_FILTER g_previousFilter = nullptr;

// Runs for an exception that nothing handled. On a registration worker it
// records the code and ends just that thread; the waiting caller sees it
// end and reports the crash. Nothing is freed here: the thread died in the
// middle of foreign code, possibly inside the heap.
LONG WINAPI WorkerCrashFilter(EXCEPTION_POINTERS* info) {
    if (g_workerSlot != TLS_OUT_OF_INDEXES) {
        if (auto* worker = static_cast<Worker*>(::TlsGetValue(g_workerSlot))) {
            DWORD code = info->ExceptionRecord->ExceptionCode;
            worker->exceptionCode = code;
            ::InterlockedExchange(&worker->crashed, 1);
            ::InterlockedDecrement(&worker->refs);
            ::ExitThread(code);
        }
    }
    return g_previousFilter ? g_previousFilter(info) : EXCEPTION_CONTINUE_SEARCH;
}

bool InstallCrashFilter() {
    static const bool installed = [] {
        g_workerSlot = ::TlsAlloc();
        if (g_workerSlot == TLS_OUT_OF_INDEXES)
            return false;
        g_previousFilter = ::SetUnhandledExceptionFilter(WorkerCrashFilter);
        return true;
    }();
    return installed;
}

DWORD WINAPI WorkerMain(void* parameter) {
    auto* worker = static_cast<Worker*>(parameter);
    ::TlsSetValue(g_workerSlot, worker);
    // Servers expect what the platform's own registration tool gives them.
    HRESULT init = ::OleInitialize(nullptr);
    HRESULT result = worker->entry();
    if (SUCCEEDED(init))
        ::OleUninitialize();
    ::TlsSetValue(g_workerSlot, nullptr);
    worker->result = result;
    ::InterlockedExchange(&worker->finished, 1);
    Release(worker);
    return static_cast<DWORD>(result);
}

HRESULT LastErrorAsHResult() {
    return HRESULT_FROM_WIN32(::GetLastError());
}

HMODULE LoadComponent(const std::wstring& path) {
    // No system dialogs for a missing dependency; a full path lets the
    // component find its own dependencies beside it.
    DWORD oldMode = 0;
    ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
    bool hasFolder = path.find_first_of(L"\\/") != std::wstring::npos;
    HMODULE module = hasFolder
                         ? ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
                         : ::LoadLibraryW(path.c_str());
    DWORD error = ::GetLastError();
    ::SetThreadErrorMode(oldMode, nullptr);
    ::SetLastError(error);
    return module;
}

const wchar_t* CrashKind(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
        return L"access violation";
    case EXCEPTION_STACK_OVERFLOW:
        return L"stack overflow";
    case EXCEPTION_ILLEGAL_INSTRUCTION:
        return L"illegal instruction";
    case EXCEPTION_PRIV_INSTRUCTION:
        return L"privileged instruction";
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
        return L"integer division by zero";
    case EXCEPTION_IN_PAGE_ERROR:
        return L"in-page error";
    case 0xE06D7363: // what a C++ throw of the platform's compiler raises
    case 0x20474343: // and of GCC
        return L"C++ exception not caught";
    default:
        return nullptr;
    }
}

} // namespace

std::wstring DescribeCode(long code, bool crashed) {
    std::wstring text = platform::HexCode(code);
    std::wstring words;
    if (crashed) {
        words = L"The component crashed";
        if (const wchar_t* kind = CrashKind(static_cast<DWORD>(code)))
            words += std::wstring(L" (") + kind + L")";
        words += L".";
    } else {
        words = platform::SystemMessage(static_cast<unsigned long>(code));
    }
    if (!words.empty())
        text += L": " + words;
    return text;
}

std::wstring DescribeOutcome(const EngineOutcome& outcome) {
    const std::wstring waited = platform::HexCode(HRESULT_FROM_WIN32(ERROR_TIMEOUT));
    const wchar_t* who = outcome.exeServer ? L"server" : L"component";
    wchar_t text[200];
    Ending ending = outcome.ending;
    if (ending == Ending::Finished && outcome.crashed)
        ending = Ending::Crashed;
    else if (ending == Ending::Finished && outcome.timedOut)
        ending = Ending::TimedOut;
    switch (ending) {
    case Ending::Finished:
        if (outcome.exeServer) {
            if (outcome.exitCode == 0)
                return {};
            std::swprintf(text, 200, L"The server ended with exit code %lu.", outcome.exitCode);
            return text;
        }
        return outcome.code != 0 ? DescribeCode(outcome.code, false) : std::wstring();
    case Ending::Crashed:
        return DescribeCode(outcome.code, true);
    case Ending::ExitedEarly:
        std::swprintf(text, 200,
                      L"The component ended the registration process (exit code %lu) before it "
                      L"finished.",
                      outcome.exitCode);
        return text;
    case Ending::TimedOut:
        return waited + L": The " + who +
               L" did not finish within 10 seconds and was stopped; the outcome is unknown (it "
               L"may have written part of its keys).";
    case Ending::HungLoading:
        return waited + L": The component did not finish loading within 10 seconds (its DllMain "
                        L"hangs) and was stopped; its entry point never ran.";
    case Ending::HungUnloading:
        return waited + L": The component's entry point returned, but the component did not "
                        L"unload within 10 seconds (its DllMain hangs) and was stopped.";
    case Ending::HungInLoaderLock:
        return waited + L": The component hung holding the system's loader lock and was "
                        L"stopped after 10 seconds; the outcome is unknown.";
    case Ending::NotAFile:
        return L"The path names a pipe, a device or a folder, not a file.";
    case Ending::HostMissing:
        return outcome.machine == IMAGE_FILE_MACHINE_AMD64
                   ? L"Selected file is a 64-bit component; the 64-bit part of Calvorn is missing."
                   : L"Selected file is a 32-bit component; the 32-bit part of Calvorn is missing.";
    case Ending::NotStarted:
        return DescribeCode(outcome.code, false);
    }
    return {};
}

EngineOutcome RunSelfRegistration(const std::wstring& path, Operation operation,
                                  unsigned long timeoutMs) {
    const bool registering = operation == Operation::Register;
    EngineOutcome out;
    if (path.empty()) {
        out.status = rsNoFile;
        return out;
    }
    HMODULE module = LoadComponent(path);
    if (!module) {
        out.status = rsLoadFailed;
        out.code = LastErrorAsHResult();
        return out;
    }
    auto* entry = platform::GetProc<EntryPointFn>(module, registering ? "DllRegisterServer"
                                                                      : "DllUnregisterServer");
    if (!entry) {
        ::FreeLibrary(module);
        out.status = rsNotActiveX;
        return out;
    }
    auto* worker = InstallCrashFilter() ? new (std::nothrow) Worker : nullptr;
    if (!worker) {
        ::FreeLibrary(module);
        return out; // rsNone: nothing was run
    }
    worker->module = module;
    worker->entry = entry;

    DWORD threadId = 0;
    platform::UniqueHandle thread(::CreateThread(nullptr, 0, WorkerMain, worker, 0, &threadId));
    if (!thread) {
        worker->refs = 1;
        Release(worker);
        return out; // rsNone
    }

    const RegistrationStatus succeeded = registering ? rsRegistered : rsUnregistered;
    const RegistrationStatus failed = registering ? rsRegisterFailed : rsUnregisterFailed;
    DWORD wait = ::WaitForSingleObject(thread.get(), timeoutMs);
    if (wait == WAIT_OBJECT_0) {
        if (worker->crashed) {
            out.status = failed;
            out.crashed = true;
            out.ending = Ending::Crashed;
            out.code = static_cast<long>(worker->exceptionCode);
        } else {
            HRESULT result = worker->result;
            if (!worker->finished) {
                // The component ended the thread itself; its exit code is all
                // there is to go by. The module stays: its state is unknown.
                DWORD exitCode = static_cast<DWORD>(E_UNEXPECTED);
                ::GetExitCodeThread(thread.get(), &exitCode);
                result = static_cast<HRESULT>(exitCode);
            }
            out.status = FAILED(result) ? failed : succeeded;
            out.code = result;
        }
    } else {
        out.status = failed;
        out.timedOut = wait == WAIT_TIMEOUT;
        if (out.timedOut)
            out.ending = Ending::TimedOut;
        out.code = out.timedOut ? HRESULT_FROM_WIN32(ERROR_TIMEOUT) : LastErrorAsHResult();
    }
    Release(worker);
    return out;
}

} // namespace calvorn::registration
