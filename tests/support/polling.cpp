#include "support/polling.h"

#include <thread>

namespace calvorn::test {

using namespace std::chrono;

bool WaitUntil(const std::function<bool()>& done, milliseconds timeout, milliseconds step) {
    const auto deadline = steady_clock::now() + timeout;
    while (steady_clock::now() < deadline) {
        if (done())
            return true;
        std::this_thread::sleep_for(step);
    }
    return done();
}

bool SentMessagesHandled(HWND window, milliseconds timeout) {
    DWORD_PTR answer = 0;
    return ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL,
                                 static_cast<UINT>(timeout.count()), &answer) != 0;
}

namespace {

LRESULT TextLimit(HWND edit, milliseconds timeout) {
    DWORD_PTR limit = 0;
    if (!::SendMessageTimeoutW(edit, EM_GETLIMITTEXT, 0, 0, SMTO_NORMAL,
                               static_cast<UINT>(timeout.count()), &limit))
        return -1;
    return static_cast<LRESULT>(limit);
}

} // namespace

bool PostedMessagesHandled(HWND edit, milliseconds timeout) {
    const LRESULT original = TextLimit(edit, timeout);
    if (original <= 1)
        return false;
    // Down by one: a limit at its largest cannot go up.
    for (LRESULT marker : {original - 1, original}) {
        if (!::PostMessageW(edit, EM_SETLIMITTEXT, static_cast<WPARAM>(marker), 0) ||
            !WaitUntil([&] { return TextLimit(edit, timeout) == marker; }, timeout,
                       milliseconds(5)))
            return false;
    }
    return true;
}

} // namespace calvorn::test
