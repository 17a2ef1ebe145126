#pragma once
// What the program and its registration host say to each other over the
// pipe pair whose handles the host is given on its command line (its
// standard handles go elsewhere: a component may print). Requests and
// reports are fixed-size records, so that neither side needs a parser and a
// report written just before the host dies is still whole.

#include <cstdint>

namespace calvorn::registration::host {

// Capture: DllRegisterServer with the predefined roots redirected into the
// scratch key the program made, so that nothing reaches the machine's keys.
enum class RequestKind : std::uint32_t { Register = 1, Unregister = 2, Capture = 3 };
inline constexpr std::uint32_t kPerUser = 1; // HKCR reads and writes go to HKCU\Software\Classes

// Followed by `pathChars` UTF-16 units of the component's path, then
// `scratchChars` units of the scratch key's path under HKEY_CURRENT_USER
// (Capture only).
struct Request {
    RequestKind kind;
    std::uint32_t flags;
    std::uint32_t pathChars;
    std::uint32_t scratchChars;
};
inline constexpr std::uint32_t kMaxPathChars = 32768;
inline constexpr std::uint32_t kMaxScratchChars = 200;

// The scratch key's subkeys that stand in for HKEY_CLASSES_ROOT,
// HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER and HKEY_USERS, in the order of
// CapturedRoot.
inline constexpr const wchar_t* kCaptureRootNames[4] = {L"HKCR", L"HKLM", L"HKCU", L"HKU"};
// The stand-in for HKEY_CURRENT_CONFIG: what a component writes there stays
// in the scratch key and is no part of any registration that is exported.
inline constexpr const wchar_t* kCaptureConfigName = L"HKCC";

// A new host says Ready once it has set itself up; then its one request is
// answered by a run of these, in this order, and the host ends; a run ends with
// LoadFailed, PerUserFailed, CaptureFailed, Done or Crashed. Anything else (silence, the
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
    CaptureFailed = 10, // value: the Win32 error of opening or redirecting the roots
};

struct Report {
    ReportKind kind;
    std::uint32_t value;
};

} // namespace calvorn::registration::host
