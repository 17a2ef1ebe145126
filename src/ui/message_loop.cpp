#include "ui/message_loop.h"

#include "platform/text.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdint>

namespace calvorn::ui {

namespace {
HWND relayTip = nullptr;

// Set, the loop counts the WM_TIMER messages it hands out and keeps the count
// as a property of the thread's top-level windows, where a test in another
// process reads it: an idle window must not wake up.
const bool countTimers = !platform::EnvironmentVariable(kTimerCountVariable).empty();
std::uintptr_t timerMessages = 0;

BOOL CALLBACK StoreTimerCount(HWND window, LPARAM) {
    ::SetPropW(window, kTimerCountProperty, reinterpret_cast<HANDLE>(timerMessages));
    return TRUE;
}

void Dispatch(MSG& msg) {
    if (countTimers && msg.message == WM_TIMER) {
        ++timerMessages;
        ::EnumThreadWindows(::GetCurrentThreadId(), StoreTimerCount, 0);
    }
    if (relayTip && msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST)
        ::SendMessageW(relayTip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
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
} // namespace

void RelayMouseMessagesTo(HWND tooltip) {
    relayTip = tooltip;
}

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

int RunMessageLoop() {
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0)
        Dispatch(msg);
    return static_cast<int>(msg.wParam);
}

} // namespace calvorn::ui
