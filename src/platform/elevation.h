#pragma once
// Whether the program runs with the administrator's rights, and a second run
// of it that asks for them: the machine-wide actions need them under UAC.

#include "platform/child_process.h"

#include <optional>
#include <string>

namespace calvorn::platform {

// The token's elevation: Full (elevated), Limited (the filtered half of an
// administrator's split token: elevation can be asked for) or Default (no
// split token: UAC is off, or a standard user, who is asked for an
// administrator's password instead).
enum class TokenKind { Default, Full, Limited };

struct ElevationState {
    bool elevated = false;
    TokenKind kind = TokenKind::Default;
};

// The process token as the system reports it; an unreadable token counts as
// not elevated, so that a machine-wide action is never claimed to have rights.
ElevationState ProcessElevation();
bool RunsElevated();

// An HRESULT that means the caller lacked the rights (registry or file
// denied), whatever wrapped it.
bool IsAccessDenied(long code);

// The outcome of a run of the program asked for with the "runas" verb.
struct ElevatedRun {
    // The run's exit code; empty when it did not start (see `error`).
    std::optional<unsigned long> exitCode;
    // ERROR_CANCELLED when the user declined the prompt; else why it did
    // not start.
    unsigned long error = 0;
};

// Starts `program` with `arguments` through the shell's "runas" verb (the
// consent prompt when elevation is needed), hidden, and waits for it to end.
ElevatedRun RunElevated(const std::wstring& program, const std::wstring& arguments, WaitStyle wait);

} // namespace calvorn::platform
