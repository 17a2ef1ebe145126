#pragma once
// The user-interface thread's message loop, and the one-step pump that long
// routines use to let window messages through at fixed points.

namespace calvorn::ui {

// Handles every message that is waiting, then returns.
void PumpPendingMessages();
// Runs until WM_QUIT; returns its exit code.
int RunMessageLoop();

} // namespace calvorn::ui
