#pragma once
// The one owner of OLE on a thread. Each face makes one at its entry (the
// window's start-up, the quiet run, each program's own main); code below the
// face asks it with OleSession::Start() and never calls OleInitialize itself.
//
// OLE is set up the first time something on the thread needs it, not when
// the owner is made: a start-up that never opens a file dialog or starts an
// EXE server does not load ole32. It is undone when the owner ends, and only
// when it was set up.

#include <optional>

namespace calvorn::platform {

class OleSession {
  public:
    // Becomes this thread's owner; a thread has at most one at a time.
    OleSession() noexcept;
    ~OleSession();
    OleSession(const OleSession&) = delete;
    OleSession& operator=(const OleSession&) = delete;

    // OLE on the calling thread, set up by its owner on first need: the
    // result of that first set-up every time after. A thread whose entry
    // made no owner gets CO_E_NOTINITIALIZED, so a missing owner is seen
    // as a failure rather than as a thread that silently has no COM.
    static long Start() noexcept;

    // The set-up's result; nothing while no one has needed OLE.
    std::optional<long> Result() const noexcept { return result_; }

  private:
    long StartHere() noexcept;

    OleSession* outer_ = nullptr;
    std::optional<long> result_;
};

} // namespace calvorn::platform
