#pragma once
// Starts registration hosts on a thread of its own: a host's start blocks its
// caller for tens of milliseconds under Wine, time that the next component's
// run can use instead.

#include "platform/child_process.h"

#include <windows.h>

#include <cstddef>
#include <deque>
#include <optional>
#include <string>

namespace calvorn::registration {

class HostStarter {
  public:
    HostStarter() = default;
    // Waits for a start in progress; the hosts nobody took end with it.
    ~HostStarter();
    HostStarter(const HostStarter&) = delete;
    HostStarter& operator=(const HostStarter&) = delete;

    // One more host of `program` for `slot` (a bitness), started in turn.
    // False when the thread cannot be had: nothing was asked for.
    bool Ask(int slot, const std::wstring& program);
    // Hosts of `slot` asked for and not yet taken.
    std::size_t Waiting(int slot);
    // The first host asked for `slot`, once it has started; empty with the
    // Win32 error in `error` when it could not be, or when none was asked for.
    std::optional<platform::PersistentChild> Take(int slot, unsigned long& error);

  private:
    struct Started {
        std::optional<platform::PersistentChild> host;
        unsigned long error = 0;
    };
    struct Asked {
        int slot;
        std::wstring program;
    };
    static DWORD WINAPI Main(void* self);
    void Work();

    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    std::deque<Asked> asked_;
    std::deque<Started> started_[2];
    std::size_t waiting_[2] = {0, 0};
    bool stop_ = false;
    // Why the thread has gone (no more starts come); 0 while it runs.
    unsigned long brokenBy_ = 0;
    HANDLE thread_ = nullptr;
};

} // namespace calvorn::registration
