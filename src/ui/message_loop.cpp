#include "ui/message_loop.h"

#include "platform/unique_handle.h"

#include <windows.h>

#include <objbase.h>

#include <exception>

namespace calvorn::ui {

namespace {
void Dispatch(MSG& msg) {
    // Dialog-style keyboard handling (Tab, access keys) for the top-level
    // window that the message belongs to.
    HWND top = msg.hwnd ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (top && msg.message == WM_KEYDOWN &&
        ::SendMessageW(top, kTakeKeyMessage, 0, reinterpret_cast<LPARAM>(&msg)) != 0)
        return;
    if (top && ::IsDialogMessageW(top, &msg))
        return;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
}
struct PumpedWork {
    const std::function<void()>* work = nullptr;
    std::exception_ptr error;
};

DWORD WINAPI PumpedWorker(void* parameter) {
    auto* job = static_cast<PumpedWork*>(parameter);
    // The shell starts servers through COM.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    try {
        (*job->work)();
    } catch (...) {
        job->error = std::current_exception();
    }
    if (SUCCEEDED(com))
        ::CoUninitialize();
    return 0;
}

} // namespace

void PumpPendingMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        Dispatch(msg);
    }
}

void RunWhilePumping(const std::function<void()>& work) {
    PumpedWork job{&work, nullptr};
    platform::UniqueHandle thread(::CreateThread(nullptr, 0, PumpedWorker, &job, 0, nullptr));
    if (!thread) {
        work();
        return;
    }
    HANDLE handle = thread.get();
    for (;;) {
        const DWORD woke =
            ::MsgWaitForMultipleObjectsEx(1, &handle, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0)
            break;
        if (woke == WAIT_FAILED) {
            ::WaitForSingleObject(handle, INFINITE);
            break;
        }
        PumpPendingMessages();
    }
    if (job.error)
        std::rethrow_exception(job.error);
}

int RunMessageLoop() {
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0)
        Dispatch(msg);
    return static_cast<int>(msg.wParam);
}

} // namespace calvorn::ui
