#pragma once
// Reads that mostly wait on the system overlap when a few threads make them:
// under Wine every file opened and closed is a round trip to its server, and
// a folder's files read on three threads take about half the time they take
// on one. The results are handed to one consumer in order, never more than a
// window ahead of it, so that memory stays bounded whatever the folder holds.

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace calvorn::platform {

// Runs `work(index)` once for every index below `count`, on up to `threads`
// threads of its own, at most `window` indexes past the last one released.
// Stopping (the destructor) lets a work call in progress finish and starts
// no other one.
class ReadAheadPool {
  public:
    ReadAheadPool(std::size_t count, std::function<void(std::size_t)> work, unsigned threads,
                  std::size_t window);
    ~ReadAheadPool();
    ReadAheadPool(const ReadAheadPool&) = delete;
    ReadAheadPool& operator=(const ReadAheadPool&) = delete;

    // Waits until work(index) has returned; indexes are waited for in order.
    // Without threads (none could be started) the work is done here.
    void WaitFor(std::size_t index);
    // The result of `index` is no longer needed: its place may be reused.
    void Release(std::size_t index);

  private:
    struct Shared;
    std::unique_ptr<Shared> shared_;
};

// Each result of `read(index)` taken in order of index; a read that threw
// throws again when its result is taken, not before.
template <typename T> class OrderedReadAhead {
  public:
    // Measured on two CPUs: two threads read a folder 1.5 times as fast as
    // one, three about twice as fast, four no faster.
    static constexpr unsigned kThreads = 3;
    static constexpr std::size_t kWindow = 32;

    OrderedReadAhead(std::size_t count, std::function<T(std::size_t)> read,
                     unsigned threads = kThreads, std::size_t window = kWindow)
        : read_(std::move(read)), slots_(window ? window : 1),
          pool_(
              count, [this](std::size_t index) { Fill(index); }, threads, slots_.size()) {}

    T Take(std::size_t index) {
        pool_.WaitFor(index);
        Slot& slot = slots_[index % slots_.size()];
        std::optional<T> value = std::move(slot.value);
        std::exception_ptr failure = std::exchange(slot.failure, nullptr);
        slot.value.reset();
        pool_.Release(index);
        if (failure)
            std::rethrow_exception(failure);
        return std::move(*value);
    }

  private:
    struct Slot {
        std::optional<T> value;
        std::exception_ptr failure;
    };
    // No exception leaves a worker: it waits in the slot for its consumer.
    void Fill(std::size_t index) {
        Slot& slot = slots_[index % slots_.size()];
        try {
            slot.value.emplace(read_(index));
        } catch (...) {
            slot.failure = std::current_exception();
        }
    }

    std::function<T(std::size_t)> read_;
    std::vector<Slot> slots_;
    // Last: its threads stop before the slots and the read go.
    ReadAheadPool pool_;
};

} // namespace calvorn::platform
