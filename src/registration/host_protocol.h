#pragma once
// What the program and its registration host say to each other over the
// pipe pair whose handles the host is given on its command line (its
// standard handles go elsewhere: a component may print). Requests and
// reports are fixed-size records, so that neither side needs a parser and a
// report written just before the host dies is still whole.

#include <cstdint>

namespace calvorn::registration::host {

enum class RequestKind : std::uint32_t { Register = 1, Unregister = 2 };
inline constexpr std::uint32_t kPerUser = 1; // HKCR reads and writes go to HKCU\Software\Classes

// Followed by `pathChars` UTF-16 units of the component's path.
struct Request {
    RequestKind kind;
    std::uint32_t flags;
    std::uint32_t pathChars;
};
inline constexpr std::uint32_t kMaxPathChars = 32768;

// A new host says Ready once it has set itself up; then its one request is
// answered by a run of these, in this order, and the host ends; a run ends with
// LoadFailed, PerUserFailed, Done or Crashed. Anything else (silence, the
// pipe closing) means the host is stuck or gone.
enum class ReportKind : std::uint32_t {
    LoadFailed = 1,     // value: the loader's Win32 error
    PerUserFailed = 2,  // value: the Win32 error of the redirection
    Loaded = 3,         // the module's attach code has run
    NoEntryPoint = 4,   // the module does not export the entry point
    Returned = 5,       // value: the entry point's HRESULT
    LoaderLockHeld = 6, // the entry point has held the loader lock for a while
    Done = 7,           // value: 1 when the module is unloaded again; 0 when
                        // the component left threads running, so it stays
    Crashed = 8,        // value: the exception code; the host ends itself
    Ready = 9,          // once, before the first request: OLE is initialised
};

struct Report {
    ReportKind kind;
    std::uint32_t value;
};

} // namespace calvorn::registration::host
