#include "ui/message_loop.h"

#include <windows.h>

#include <commctrl.h>

namespace calvorn::ui {

namespace {
HWND relayTip = nullptr;

void Dispatch(MSG& msg) {
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
