#pragma once
// The registration engine: runs a component's self-registration entry point
// on a worker thread and tells what came of it. Shows nothing; both the
// registration front-end and the self-install use it.

#include "inspection/module_diagnosis.h"
#include "registration/registration_status.h"

#include <optional>

#include <string>

namespace calvorn::registration {

enum class Operation { Register, Unregister };

inline constexpr unsigned long kRegistrationTimeoutMs = 10000;

struct EngineOutcome {
    RegistrationStatus status = rsNone;
    // The entry point's HRESULT when it returned; the exception code when it
    // crashed; an HRESULT for the wait when it timed out or failed; the load
    // error for rsLoadFailed; 0 otherwise.
    long code = 0;
    bool crashed = false;
    bool timedOut = false;
    // Why the component could not be loaded or has no entry point, when its
    // headers or its imports tell.
    std::optional<inspection::ModuleDiagnosis> diagnosis = {};
};

// Loads `path`, runs DllRegisterServer or DllUnregisterServer on a worker
// with OLE initialised, and waits for it at most `timeoutMs`. A worker that
// is still running when the wait ends keeps its module loaded; the module is
// freed when that worker ends. A module whose entry point crashed stays loaded.
EngineOutcome RunSelfRegistration(const std::wstring& path, Operation operation,
                                  unsigned long timeoutMs = kRegistrationTimeoutMs);

// "0x80004005: Unspecified error": the code in hexadecimal and the system's
// words for it (or the kind of crash for an exception code).
std::wstring DescribeCode(long code, bool crashed);

} // namespace calvorn::registration
