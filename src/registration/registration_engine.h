#pragma once
// What came of a registration, and its words. The component's code itself
// runs in a registration host (registration_session.h), never in the
// program's process. Shows nothing: the window's message and the quiet
// mode's log line are two formattings of one OutcomeReport; the words and
// numbers of exit codes themselves are in app/exit_codes.h.

#include "app/exit_codes.h"
#include "platform/child_process.h"
#include "inspection/module_diagnosis.h"
#include "registration/captured_registration.h"
#include "registration/registration_status.h"

#include <cstddef>
#include <optional>
#include <string>

namespace calvorn::registration {

// Export runs DllRegisterServer with the registry's roots redirected into a
// scratch key: what it wrote is read back, and the machine keeps its keys.
enum class Operation { Register, Unregister, Export };

inline constexpr unsigned long kRegistrationTimeoutMs = 10000;

// How the run of the component's code came to its end; each has its own
// words on the message's second line.
enum class Ending {
    Finished,         // it answered in time: status and code tell the rest
    Crashed,          // an exception nothing handled; `code` is its code
    ExitedEarly,      // the component ended the process; `exitCode` is its code
    TimedOut,         // still running after the bound, then stopped: outcome unknown
    HungLoading,      // the module's start-up code (DllMain) never returned
    HungUnloading,    // the entry point returned, then DllMain hung on unload;
                      // with a success status: done, but not unloaded in time
    HungInLoaderLock, // the entry point sat on the system's loader lock
    NotAFile,         // the path names a pipe, a device or a folder
    HostMissing,      // no registration host of the component's bitness: nothing ran
    NotStarted,       // the host or the EXE server could not be started; `code`:
                      // nothing of the component ran
    NotExportable,    // an EXE server: it writes its keys only when it runs for real
};

// One registration's outcome: what the message table, the quiet mode's log
// and exit code and the diagnosis read.
struct EngineOutcome {
    // Until the host reports: nothing succeeded.
    RegistrationStatus status = rsRegisterFailed;
    // The entry point's HRESULT when it returned; the exception code when it
    // crashed; an HRESULT for the wait when it timed out or failed; the load
    // error (as an HRESULT) for rsLoadFailed; an EXE server's exit code; 0
    // otherwise.
    long code = 0;
    bool crashed = false;
    bool timedOut = false;
    Ending ending = Ending::Finished;
    unsigned long exitCode = 0; // of the process, for ExitedEarly and EXE servers
    bool exeServer = false;     // the outcome of a /regserver or /unregserver run
    unsigned short machine = 0; // the component's PE machine field; 0 unknown
    // Why the component could not be loaded or has no entry point, when its
    // headers or its imports tell.
    std::optional<inspection::ModuleDiagnosis> diagnosis = {};
    // The bound the run was held to, for the words of a time-out.
    unsigned long boundMs = kRegistrationTimeoutMs;
    // The first bytes the component printed while it ran (kept with a failure
    // only): shown with the outcome, never read for it.
    std::string printed = {};
    // An export's keys, read back once the host had gone; set on success only.
    std::optional<CapturedRegistration> captured = {};
    // An export's: the machine's keys that changed while the component ran,
    // past its capture; no value when that could not be watched.
    std::optional<std::vector<std::wstring>> machineChanges = {};
};

// The most of a component's printing that is kept.
inline constexpr std::size_t kPrintedKept = 4096;

// The entry point returned success but the module would not unload within
// the bound: done, yet its own outcome.
inline bool NotUnloaded(const EngineOutcome& outcome) {
    return outcome.ending == Ending::HungUnloading &&
           (outcome.status == rsRegistered || outcome.status == rsUnregistered);
}
// The component's code (or an EXE server's exit code) said access was
// denied: what a machine-wide registration meets without the rights.
bool RefusedForRights(const EngineOutcome& outcome);

// "registered, but the component did not unload in time" and its
// unregistration twin.
const wchar_t* NotUnloadedText(const EngineOutcome& outcome);

// How one registration is run: per user (HKCR writes go to
// HKCU\Software\Classes), how the caller's thread waits, and for how long.
struct RegistrationOptions {
    bool perUser = false;
    platform::WaitStyle wait = platform::WaitStyle::Block;
    unsigned long timeoutMs = kRegistrationTimeoutMs;
};

// "0x80004005: Unspecified error": the code in hexadecimal and the system's
// words for it (or the kind of crash for an exception code).
std::wstring DescribeCode(long code, bool crashed);
// The second line of a failure's message: what happened, in words; empty
// for an outcome that needs none.
std::wstring DescribeOutcome(const EngineOutcome& outcome);
// What the component printed, on one line, for a message or a log line:
// "The component printed: ..."; empty when it printed nothing.
std::wstring DescribePrinted(const EngineOutcome& outcome);
// The cause of a failure in words, as the messages and the log show it.
std::wstring DiagnosisText(const inspection::ModuleDiagnosis& diagnosis);

struct OutcomeMessage {
    std::wstring text;
    std::wstring title;
    unsigned flags = 0;
};

// What became of a registration, derived once from the host's report; each
// kind has one exit code.
enum class OutcomeKind {
    Done,             // registered or unregistered (an EXE server: exit code 0)
    NotUnloaded,      // done, but the module did not unload within the bound
    NoFile,           // no path was given
    LoadFailed,       // the loader refused the module
    NotAFile,         // the path names a pipe, a device or a folder
    HostMissing,      // no registration host of the component's bitness
    HostNotStarted,   // our host could not be started: nothing of the component ran
    NoEntryPoint,     // the module does not export the entry point
    EntryPointFailed, // the entry point returned a failure code
    Crashed,          // an exception nothing handled
    ExitedEarly,      // the component ended the process
    TimedOut,         // stopped after the bound: the outcome is unknown
    HungLoading,      // DllMain never returned on load
    HungUnloading,    // the entry point failed, then DllMain hung on unload
    HungInLoaderLock, // stopped holding the loader lock
    ServerFailed,     // an EXE server ended with a non-zero exit code
    ServerNotStarted, // an EXE server could not be started
    NotExportable,    // an EXE server cannot be exported without running it
};
inline constexpr OutcomeKind kLastOutcomeKind = OutcomeKind::NotExportable;

OutcomeKind KindOf(const EngineOutcome& outcome);

// One outcome in words: the message box shows the headline and, when the
// kind's rule says so, the window line; the quiet mode's log line shows the
// code's word and the detail, which ends with that same window line. What the component printed
// follows both.
struct OutcomeReport {
    OutcomeKind kind = OutcomeKind::Done;
    app::ExitCode code = app::ExitCode::Success;
    std::wstring headline;
    unsigned icon = 0;
    // "0x8007007E: The specified module could not be found."; a cause found
    // in the component's headers takes the system's words' place. Empty on
    // success.
    std::wstring detail;
    bool detailInWindow = false;
    // The message's second line: the detail as a person reads it, without a
    // code the words do not need; empty when the kind shows none.
    std::wstring windowLine;
    std::wstring printed;
};
OutcomeReport ReportOf(const EngineOutcome& outcome);

// The message box that tells the user an outcome: the report's headline, its
// detail on the second line when the kind shows one, what was printed last.
std::optional<OutcomeMessage> MessageFor(Operation operation, const EngineOutcome& outcome);

} // namespace calvorn::registration
