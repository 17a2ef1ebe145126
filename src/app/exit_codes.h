#pragma once
// The quiet mode's exit codes: the one table that the program, its "-q -?"
// text and the README share. Codes 0 to 5 mean what the platform's own
// registration tool means by them, so scripts written for it keep working;
// the codes above 5 tell what that tool cannot.

#include <array>
#include <cstddef>

namespace calvorn::app {

enum class ExitCode : int {
    Success = 0,
    BadArguments = 1,
    OleFailed = 2,
    NotLoaded = 3,
    NoEntryPoint = 4,
    EntryPointFailed = 5,
    Crashed = 6,
    TimedOut = 7,
    ServerNotStarted = 8,
    ServerFailed = 9,
    ReportNotWritten = 10,
    VerbsNotInstalled = 11,
    NotUnloaded = 12,
    Unreadable = 13,
    NothingExported = 14,
    RegistrationsBroken = 15,
    NotRepaired = 16,
    NotRegistered = 17,
    RegisteredElsewhere = 18,
    PartlyRegistered = 19,
    ChangedMachine = 20,
    NeedsElevation = 21,
    NotRestored = 22,
};

struct ExitCodeRow {
    ExitCode code;
    const wchar_t* word;    // the first word of a failure's log line
    const wchar_t* meaning; // for "-q -?" and the README
};

inline constexpr std::array<ExitCodeRow, 23> kExitCodes{{
    {ExitCode::Success, L"ok", L"success"},
    {ExitCode::BadArguments, L"bad-arguments", L"the command line does not fit the grammar"},
    {ExitCode::OleFailed, L"ole-failed", L"OLE could not be initialised"},
    {ExitCode::NotLoaded, L"not-loaded",
     L"the module could not be loaded (missing file, not a module, missing dependency)"},
    {ExitCode::NoEntryPoint, L"no-entry-point", L"the module does not export the entry point"},
    {ExitCode::EntryPointFailed, L"failed", L"the entry point returned a failure code"},
    {ExitCode::Crashed, L"crashed", L"the component crashed or ended its process"},
    {ExitCode::TimedOut, L"timed-out",
     L"the component or EXE server did not end within 10 s (or the -wait bound)"},
    {ExitCode::ServerNotStarted, L"not-started", L"the EXE server could not be started"},
    {ExitCode::ServerFailed, L"server-failed", L"the EXE server ended with a non-zero exit code"},
    {ExitCode::ReportNotWritten, L"report-failed", L"the report or export could not be written"},
    {ExitCode::VerbsNotInstalled, L"verbs-failed", L"the Explorer verbs could not be installed"},
    {ExitCode::NotUnloaded, L"not-unloaded",
     L"the entry point succeeded, but the component did not unload in time"},
    {ExitCode::Unreadable, L"unreadable",
     L"the report was written, but some files could not be read"},
    {ExitCode::NothingExported, L"nothing-written",
     L"the entry point succeeded, but wrote nothing to the registry: nothing to export"},
    {ExitCode::RegistrationsBroken, L"broken",
     L"the scan found broken COM registrations (-scan without -fix)"},
    {ExitCode::NotRepaired, L"not-repaired",
     L"-fix could not back up or remove every broken registration"},
    {ExitCode::NotRegistered, L"not-registered", L"-check: a file is not registered"},
    {ExitCode::RegisteredElsewhere, L"registered-elsewhere",
     L"-check: a file's classes or library are registered to another copy"},
    {ExitCode::PartlyRegistered, L"partly-registered",
     L"-check: some of a file's keys are missing"},
    {ExitCode::ChangedMachine, L"changed-machine",
     L"-e, -check: the machine's keys changed while the component ran, past the capture (named "
     L"key by key)"},
    {ExitCode::NeedsElevation, L"needs-elevation",
     L"the action needs an elevated program (run from an elevated prompt, or use -user)"},
    {ExitCode::NotRestored, L"not-restored",
     L"-restore could not read the backup or write back every key of it"},
}};

// The table is indexed by the code: a row missing or out of place stops the
// build rather than giving a code another code's words.
constexpr bool RowsInCodeOrder() {
    for (std::size_t index = 0; index < kExitCodes.size(); ++index)
        if (static_cast<std::size_t>(kExitCodes[index].code) != index)
            return false;
    return true;
}
static_assert(RowsInCodeOrder(), "kExitCodes: row i must hold the code i");
static_assert(kExitCodes.size() == static_cast<std::size_t>(ExitCode::NotRestored) + 1,
              "kExitCodes: one row for every code");

constexpr const ExitCodeRow& RowOf(ExitCode code) {
    return kExitCodes[static_cast<std::size_t>(code)];
}

} // namespace calvorn::app
