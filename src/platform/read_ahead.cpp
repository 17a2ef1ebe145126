#include "platform/read_ahead.h"

#include "platform/unique_handle.h"

#include <windows.h>

#include <algorithm>

namespace calvorn::platform {

struct ReadAheadPool::Shared {
    std::size_t count = 0;
    std::function<void(std::size_t)> work;
    std::size_t window = 1;

    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE workable = CONDITION_VARIABLE_INIT; // a place came free, or stop
    CONDITION_VARIABLE finished = CONDITION_VARIABLE_INIT; // a work call returned
    std::size_t next = 0;                                  // the next index to start
    std::size_t released = 0;                              // every index below it has been released
    std::vector<char> done; // by index % window, for the indexes in flight
    bool stop = false;
    std::vector<UniqueHandle> threads;

    // Runs work(index) with the lock let go, and marks it done once it has returned.
    void RunUnlocked(std::size_t index) {
        ::ReleaseSRWLockExclusive(&lock);
        try {
            work(index);
        } catch (...) {
            // The work reports its own failures (OrderedReadAhead keeps them
            // for its consumer); nothing crosses a thread's entry.
        }
        ::AcquireSRWLockExclusive(&lock);
        done[index % window] = 1;
        ::WakeAllConditionVariable(&finished);
    }

    static DWORD WINAPI Worker(void* parameter) {
        auto* self = static_cast<Shared*>(parameter);
        ::AcquireSRWLockExclusive(&self->lock);
        while (!self->stop && self->next < self->count) {
            if (self->next >= self->released + self->window) {
                ::SleepConditionVariableSRW(&self->workable, &self->lock, INFINITE, 0);
                continue;
            }
            self->RunUnlocked(self->next++);
        }
        ::ReleaseSRWLockExclusive(&self->lock);
        return 0;
    }
};

ReadAheadPool::ReadAheadPool(std::size_t count, std::function<void(std::size_t)> work,
                             unsigned threads, std::size_t window)
    : shared_(std::make_unique<Shared>()) {
    Shared& s = *shared_;
    s.count = count;
    s.work = std::move(work);
    s.window = std::max<std::size_t>(window, 1);
    s.done.assign(s.window, 0);
    const std::size_t wanted = std::min<std::size_t>(threads, count);
    for (std::size_t i = 0; i < wanted; ++i) {
        // A small reservation: the reads need little stack, and a folder
        // report should not reserve megabytes for them.
        UniqueHandle thread(::CreateThread(nullptr, 256 * 1024, &Shared::Worker, &s,
                                           STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
        if (!thread)
            break;
        s.threads.push_back(std::move(thread));
    }
}

ReadAheadPool::~ReadAheadPool() {
    Shared& s = *shared_;
    ::AcquireSRWLockExclusive(&s.lock);
    s.stop = true;
    ::WakeAllConditionVariable(&s.workable);
    ::ReleaseSRWLockExclusive(&s.lock);
    for (const UniqueHandle& thread : s.threads)
        ::WaitForSingleObject(thread.get(), INFINITE);
}

void ReadAheadPool::WaitFor(std::size_t index) {
    Shared& s = *shared_;
    ::AcquireSRWLockExclusive(&s.lock);
    while (!s.done[index % s.window]) {
        if (s.threads.empty() && s.next == index)
            // No thread could be started: the consumer reads for itself.
            s.RunUnlocked(s.next++);
        else
            ::SleepConditionVariableSRW(&s.finished, &s.lock, INFINITE, 0);
    }
    ::ReleaseSRWLockExclusive(&s.lock);
}

void ReadAheadPool::Release(std::size_t index) {
    Shared& s = *shared_;
    ::AcquireSRWLockExclusive(&s.lock);
    s.done[index % s.window] = 0;
    s.released = index + 1;
    ::WakeAllConditionVariable(&s.workable);
    ::ReleaseSRWLockExclusive(&s.lock);
}

} // namespace calvorn::platform
