#include "registration/host_starter.h"

#include "platform/error_record.h"

#include <new>
#include <utility>

namespace calvorn::registration {

using platform::PersistentChild;

namespace {

class Locked {
  public:
    explicit Locked(SRWLOCK& lock) : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
    ~Locked() { ::ReleaseSRWLockExclusive(&lock_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

  private:
    SRWLOCK& lock_;
};

} // namespace

HostStarter::~HostStarter() {
    if (!thread_)
        return;
    {
        Locked hold(lock_);
        stop_ = true;
    }
    ::WakeAllConditionVariable(&changed_);
    ::WaitForSingleObject(thread_, INFINITE);
    ::CloseHandle(thread_);
}

bool HostStarter::Ask(int slot, const std::wstring& program) {
    if (!thread_) {
        thread_ = ::CreateThread(nullptr, 256 * 1024, &HostStarter::Main, this,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
        if (!thread_)
            return false;
    }
    {
        Locked hold(lock_);
        asked_.push_back({slot, program});
        ++waiting_[slot];
    }
    ::WakeAllConditionVariable(&changed_);
    return true;
}

std::size_t HostStarter::Waiting(int slot) {
    Locked hold(lock_);
    return waiting_[slot];
}

std::optional<PersistentChild> HostStarter::Take(int slot, unsigned long& error) {
    Locked hold(lock_);
    if (waiting_[slot] == 0) {
        error = ERROR_NOT_READY;
        return std::nullopt;
    }
    while (started_[slot].empty() && brokenBy_ == 0)
        ::SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    if (started_[slot].empty()) {
        --waiting_[slot];
        error = brokenBy_;
        return std::nullopt;
    }
    Started first = std::move(started_[slot].front());
    started_[slot].pop_front();
    --waiting_[slot];
    error = first.error;
    return std::move(first.host);
}

DWORD WINAPI HostStarter::Main(void* self) {
    auto* starter = static_cast<HostStarter*>(self);
    try {
        starter->Work();
    } catch (...) {
        // The thread's entry is a boundary: whoever waits is told what ended
        // it, not left waiting.
        const auto number = static_cast<unsigned long>(platform::CurrentFailure().number);
        {
            Locked hold(starter->lock_);
            starter->brokenBy_ = number != 0 ? number : ERROR_INTERNAL_ERROR;
        }
        ::WakeAllConditionVariable(&starter->changed_);
    }
    return 0;
}

void HostStarter::Work() {
    for (;;) {
        Asked next{};
        {
            Locked hold(lock_);
            while (asked_.empty() && !stop_)
                ::SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
            if (stop_)
                return;
            next = std::move(asked_.front());
            asked_.pop_front();
        }
        Started started;
        // Nothing may leave this thread; a start that fails for want of
        // memory is a start that failed.
        try {
            started.host = PersistentChild::Start(next.program, &started.error);
        } catch (const std::bad_alloc&) {
            started.error = ERROR_NOT_ENOUGH_MEMORY;
        }
        if (!started.host && started.error == 0)
            started.error = ERROR_FILE_NOT_FOUND;
        {
            Locked hold(lock_);
            started_[next.slot].push_back(std::move(started));
        }
        ::WakeAllConditionVariable(&changed_);
    }
}

} // namespace calvorn::registration
