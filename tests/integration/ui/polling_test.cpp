// The markers the end-to-end tests wait for before they check that nothing
// changed: they must come back only after what was posted before them.

#include "support/polling.h"

#include <gtest/gtest.h>

#include <string>

using namespace calvorn::test;

namespace {

// An edit control on a thread of its own that starts taking messages only
// after a pause, so that whatever is posted meanwhile waits in its queue.
class LateEditThread {
  public:
    LateEditThread() {
        ready_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = ::CreateThread(nullptr, 0, &LateEditThread::Run, this, 0, nullptr);
        ::WaitForSingleObject(ready_, 10000);
    }
    ~LateEditThread() {
        ::PostMessageW(edit_, WM_CLOSE, 0, 0);
        ::PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        ::WaitForSingleObject(thread_, 10000);
        ::CloseHandle(thread_);
        ::CloseHandle(ready_);
    }
    LateEditThread(const LateEditThread&) = delete;
    LateEditThread& operator=(const LateEditThread&) = delete;

    HWND edit() const { return edit_; }

  private:
    static DWORD WINAPI Run(void* self) {
        auto* me = static_cast<LateEditThread*>(self);
        me->threadId_ = ::GetCurrentThreadId();
        me->edit_ = ::CreateWindowExW(0, L"EDIT", L"", WS_POPUP | ES_AUTOHSCROLL, 0, 0, 200, 20,
                                      nullptr, nullptr, nullptr, nullptr);
        ::SetEvent(me->ready_);
        // The lateness is what the markers are tried against: a fixed pause,
        // not a wait for anything.
        ::Sleep(300);
        MSG msg;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        return 0;
    }

    HANDLE ready_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    HWND edit_ = nullptr;
};

std::wstring TextOf(HWND window) {
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    return text;
}

} // namespace

TEST(Polling, PostedMarkerArrivesAfterEverythingPostedBeforeIt) {
    LateEditThread thread;
    ASSERT_NE(thread.edit(), nullptr);
    const LRESULT limit = ::SendMessageW(thread.edit(), EM_GETLIMITTEXT, 0, 0);
    for (int i = 0; i < 40; ++i)
        ::PostMessageW(thread.edit(), WM_CHAR, L'x', 1);
    ASSERT_TRUE(PostedMessagesHandled(thread.edit()));
    EXPECT_EQ(TextOf(thread.edit()), std::wstring(40, L'x'));
    EXPECT_EQ(::SendMessageW(thread.edit(), EM_GETLIMITTEXT, 0, 0), limit) << "limit not restored";
    EXPECT_TRUE(SentMessagesHandled(thread.edit()));
}
