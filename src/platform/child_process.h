#pragma once
// Runs a helper program of ours and collects what it writes, for work that
// must not be done in the program's own process.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace calvorn::platform {

struct ChildResult {
    unsigned long exitCode = 0;
    std::string output; // everything the child wrote to its standard output
};

// Starts `program` with `arguments` (the text after the program name), no
// window, and waits for it at most `timeout`. Empty when it cannot be started
// or does not end in time (it is then ended).
std::optional<ChildResult> RunChild(const std::wstring& program, const std::wstring& arguments,
                                    std::chrono::milliseconds timeout);

} // namespace calvorn::platform

namespace calvorn::platform {

// When `process` started, in FILETIME ticks; 0 when that cannot be told.
std::uint64_t ProcessStartTime(void* process);
// Whether process `pid`, started at `started`, has ended (a later process
// that got the same id is another).
bool ProcessGone(unsigned long pid, std::uint64_t started);
// Removes the output files of helpers (see PersistentChild) left in the
// temporary folder by a run that has gone.
void RemoveStaleOutputFiles();

// How a thread spends a wait for a helper: blocked, or dispatching its window
// messages meanwhile (a window keeps painting; the caller must guard its own
// controls against being used again during the wait).
enum class WaitStyle { Block, PumpMessages };

// Waits at most `timeoutMs` for a process or event handle; true when it was
// signalled.
bool WaitForHandle(void* handle, unsigned long timeoutMs, WaitStyle style);

// A helper that stays up and answers requests in turn. It talks to us over a
// pipe pair of its own, whose handle values it is given on its command line
// ("<requests> <reports>"); its standard output and error go to a file of
// their own, so that nothing a DLL loaded into it prints can pass for its
// words. Its answers are read with a deadline; it is ended when it stops
// answering or when this object goes, and with it every process it started.
class PersistentChild {
  public:
    // Empty when it cannot be started; `error` then holds the Win32 error.
    static std::optional<PersistentChild> Start(const std::wstring& program,
                                                unsigned long* error = nullptr);
    PersistentChild(PersistentChild&&) noexcept;
    PersistentChild& operator=(PersistentChild&&) noexcept;
    // Closes its input, which asks it to end, and ends it when it does not.
    ~PersistentChild();

    bool Send(const void* bytes, std::size_t size);
    enum class Received { Whole, Ended, TimedOut };
    // Reads exactly `size` bytes unless the child ends (or closes its
    // output) first, or the tick count (GetTickCount64) reaches `deadline`.
    Received Receive(void* bytes, std::size_t size, unsigned long long deadline, WaitStyle style);
    // From now on it may start no process of its own (its job holds one
    // process, itself); false when the system would not hold it to that.
    bool ForbidChildProcesses();
    // Ends it now and waits until it has gone.
    void End();
    // Its exit code once it has ended, given at most `waitMs` to end; empty
    // while it runs.
    std::optional<unsigned long> ExitCode(unsigned long waitMs = 0) const;
    // The first `limit` bytes it wrote to its standard output and error.
    // Read it once the child has ended: it shares the file's position.
    std::string Printed(std::size_t limit) const;

  private:
    PersistentChild();
    struct Handles;
    std::unique_ptr<Handles> handles_;
};

} // namespace calvorn::platform
