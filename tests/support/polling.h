#pragma once
// Waiting for what another thread or process brings about: the one place
// that polls, and the markers that prove a window has caught up.

#include <windows.h>

#include <chrono>
#include <functional>

namespace calvorn::test {

// Asks `done` every `step` until it holds or `timeout` passes; its last answer.
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(20),
               std::chrono::milliseconds step = std::chrono::milliseconds(25));

// Whether the thread of `window` has handled every message sent to it so far:
// sent messages are handled in order, so a WM_NULL sent after them comes back
// last. It says nothing about posted messages, which a thread takes only
// after its sent ones.
bool SentMessagesHandled(HWND window, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Whether the thread of `edit` (an edit control of another process) has
// handled every message posted to its windows so far, and also what those
// posted in turn: a marker is posted behind them and seen arrive, twice.
// The marker is the edit's text limit, changed and put back; nothing a
// program does on a click or a key touches it.
bool PostedMessagesHandled(HWND edit, std::chrono::milliseconds timeout = std::chrono::seconds(10));

} // namespace calvorn::test
