#pragma once
// Quiet registration of many files: each file is handled whatever became of
// the ones before, and tells its outcome in one log line and an exit code.

#include "app/console_output.h"
#include "app/exit_codes.h"
#include "registration/registration_session.h"

#include <functional>
#include <string>
#include <vector>

namespace calvorn::app {

struct FileOutcome {
    ExitCode code = ExitCode::Success;
    // "0x8007007E: The specified module could not be found."; empty on success.
    std::wstring detail;
};

// The exit code of an outcome and its words: the code in hexadecimal, the
// words of the interactive message's second line, and the cause found in
// the component's headers when there is one.
FileOutcome OutcomeOf(const registration::EngineOutcome& outcome);

// The same for a registration in a process with or without the
// administrator's rights: a refusal for want of rights is NeedsElevation.
FileOutcome OutcomeOf(const registration::EngineOutcome& outcome, registration::Operation operation,
                      bool elevated);

// The log line of one file: "registered "C:\a.dll"" on success, else the
// code's word, the quoted path and the detail.
std::wstring LogLine(registration::Operation operation, const std::wstring& path,
                     const FileOutcome& outcome);

// One path as the command line gave it, made whole: relative to the current
// folder, a wildcard replaced by the files it matches (sorted by name). A
// pattern that matches nothing stays, so that it is reported.
std::vector<std::wstring> ExpandPath(const std::wstring& given);
// A path that ExpandPath left as a pattern, and what it is told as: a
// missing file ("not-loaded") whose words say that no file matches.
bool IsUnmatchedPattern(const std::wstring& path);
FileOutcome NoFileMatches();

using FileRegistrar = std::function<FileOutcome(const std::wstring& path)>;

// Every path in turn; the exit code of the first failure, 0 when all
// succeeded; a summary line last.
ExitCode RegisterEach(registration::Operation operation, const std::vector<std::wstring>& paths,
                      const FileRegistrar& registrar, IQuietOutput& output);

// One file through the session's host (components) or the shell (EXE
// servers), the engine's whole outcome.
registration::EngineOutcome RunFile(registration::RegistrationSession& session,
                                    registration::Operation operation, const std::wstring& path);

// The program's registrar: components through the session's registration
// host (one host for many files while they behave), EXE servers started with
// their switch and waited for.
FileOutcome RegisterFile(registration::RegistrationSession& session,
                         registration::Operation operation, const std::wstring& path);

} // namespace calvorn::app
