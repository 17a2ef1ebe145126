#pragma once
// The user-interface thread's message loop, and the one-step pump that long
// routines use to let window messages through at fixed points.

#include <functional>

namespace calvorn::ui {

// Handles every message that is waiting, then returns.
void PumpPendingMessages();
// Runs until WM_QUIT; returns its exit code.
int RunMessageLoop();
// Runs `work` on a worker thread (COM initialised there) and lets window
// messages through until it ends, so that the windows keep painting while it
// waits; an exception of `work` is thrown again here. When no thread can be
// started, `work` runs here.
void RunWhilePumping(const std::function<void()>& work);

} // namespace calvorn::ui
