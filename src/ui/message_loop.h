#pragma once
// The user-interface thread's message loop, and the one-step pump that long
// routines use to let window messages through at fixed points.

struct HWND__;

namespace calvorn::ui {

// Before the dialog keys (Tab, Enter, access keys) are handled, the
// top-level window that a key belongs to is asked whether it takes the key
// itself: it gets this message with the MSG in lParam and returns nonzero
// when it did. (WM_APP + 0x100: windows that do not know it answer 0.)
inline constexpr unsigned int kTakeKeyMessage = 0x8000 + 0x100;
// Set to any text, the count of WM_TIMER messages the loop dispatched is kept
// in this property of the thread's top-level windows (for the idle tests).
inline constexpr const wchar_t* kTimerCountVariable = L"CALVORN_COUNT_TIMERS";
inline constexpr const wchar_t* kTimerCountProperty = L"Calvorn.TimerMessages";

// Mouse messages that pass through the loop are handed to `tooltip`, which
// shows the tips of the windows it covers (nullptr: to none). The loop does
// this rather than the tooltip subclassing each window: under Wine a
// subclassed window pays a round trip to the server on every message.
void RelayMouseMessagesTo(HWND__* tooltip);

// Handles every message that is waiting, then returns.
void PumpPendingMessages();
// Runs until WM_QUIT; returns its exit code.
int RunMessageLoop();

} // namespace calvorn::ui
