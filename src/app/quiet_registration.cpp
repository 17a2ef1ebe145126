#include "app/quiet_registration.h"

#include "inspection/machine_changes.h"
#include "platform/elevation.h"
#include "platform/text.h"
#include "platform/unique_handle.h"
#include "registration/registrar.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

namespace calvorn::app {

using registration::Ending;
using registration::EngineOutcome;
using registration::Operation;

FileOutcome OutcomeOf(const EngineOutcome& outcome) {
    // Whatever the entry point said, the machine is not as it was.
    if (outcome.machineChanges && !outcome.machineChanges->empty()) {
        return {ExitCode::ChangedMachine,
                inspection::MachineChangesSentence(outcome.machineChanges)};
    }
    // The window's second line, then what the component printed.
    const registration::OutcomeReport report = registration::ReportOf(outcome);
    if (report.code == ExitCode::Success)
        return {};
    std::wstring detail = report.detail;
    if (!report.printed.empty())
        detail += L" " + report.printed;
    return {report.code, detail};
}

FileOutcome OutcomeOf(const EngineOutcome& outcome, Operation operation, bool elevated) {
    FileOutcome told = OutcomeOf(outcome);
    // Elevated, a refusal is the component's own failure: more rights would
    // not change it. An export writes into a scratch key, never the machine's.
    if (operation != Operation::Export && !elevated && registration::RefusedForRights(outcome))
        told.code = ExitCode::NeedsElevation;
    return told;
}

std::wstring LogLine(Operation operation, const std::wstring& path, const FileOutcome& outcome) {
    if (outcome.code == ExitCode::Success) {
        const wchar_t* done = operation == Operation::Register     ? L"registered \""
                              : operation == Operation::Unregister ? L"unregistered \""
                                                                   : L"exported \"";
        return done + path + L"\"";
    }
    std::wstring line = std::wstring(RowOf(outcome.code).word) + L" \"" + path + L"\"";
    if (!outcome.detail.empty())
        line += L" " + outcome.detail;
    return line;
}

std::vector<std::wstring> ExpandPath(const std::wstring& given) {
    std::wstring full = given;
    if (DWORD need = ::GetFullPathNameW(given.c_str(), 0, nullptr, nullptr)) {
        full.assign(need, L'\0');
        DWORD got = ::GetFullPathNameW(given.c_str(), need, full.data(), nullptr);
        full.resize(got < need ? got : 0);
        if (full.empty())
            full = given;
    }
    size_t nameStart = full.find_last_of(L"\\/") + 1;
    if (full.find_first_of(L"*?", nameStart) == std::wstring::npos)
        return {full};

    std::vector<std::wstring> matches;
    WIN32_FIND_DATAW data;
    platform::UniqueFind find(::FindFirstFileW(full.c_str(), &data));
    if (find) {
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                matches.push_back(full.substr(0, nameStart) + data.cFileName);
        } while (::FindNextFileW(find.get(), &data));
    }
    if (matches.empty())
        return {full};
    // The platform's listing order differs between file systems; a script's
    // log should not.
    std::sort(matches.begin(), matches.end(), [](const std::wstring& a, const std::wstring& b) {
        return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
    });
    return matches;
}

bool IsUnmatchedPattern(const std::wstring& path) {
    // A file's name never holds a wildcard: ExpandPath left the pattern.
    return path.find_first_of(L"*?", path.find_last_of(L"\\/") + 1) != std::wstring::npos;
}

FileOutcome NoFileMatches() {
    // The missing file's code, so that a script reads it as one, and words
    // that say what was missing.
    return {ExitCode::NotLoaded,
            platform::HexCode(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) + L": no file matches"};
}

ExitCode RegisterEach(Operation operation, const std::vector<std::wstring>& paths,
                      const FileRegistrar& registrar, IQuietOutput& output) {
    ExitCode first = ExitCode::Success;
    size_t failures = 0;
    for (const std::wstring& path : paths) {
        FileOutcome outcome = IsUnmatchedPattern(path) ? NoFileMatches() : registrar(path);
        const bool failed = outcome.code != ExitCode::Success;
        output.Line(LogLine(operation, path, outcome), failed);
        if (failed && failures++ == 0)
            first = outcome.code;
    }
    output.Line(std::to_wstring(paths.size()) + (paths.size() == 1 ? L" file: " : L" files: ") +
                    std::to_wstring(paths.size() - failures) + L" succeeded, " +
                    std::to_wstring(failures) + L" failed",
                false);
    return first;
}

namespace {

// The session's host for components, the shell for EXE servers.
class SessionEngine final : public registration::IRegistrationEngine {
  public:
    explicit SessionEngine(registration::RegistrationSession& session) : session_(session) {}
    EngineOutcome Run(const std::wstring& path, Operation operation,
                      const registration::RegistrationOptions&,
                      std::optional<std::uint16_t> machine) override {
        return session_.Run(path, operation, machine);
    }
    EngineOutcome RunServer(const std::wstring& path, Operation operation,
                            const registration::RegistrationOptions& options) override {
        return registration::RunExeServer(path, operation, options);
    }

  private:
    registration::RegistrationSession& session_;
};

} // namespace

EngineOutcome RunFile(registration::RegistrationSession& session, Operation operation,
                      const std::wstring& path) {
    SessionEngine engine(session);
    return registration::RegisterOne(engine, path, operation, session.Options());
}

FileOutcome RegisterFile(registration::RegistrationSession& session, Operation operation,
                         const std::wstring& path) {
    return OutcomeOf(RunFile(session, operation, path), operation, platform::RunsElevated());
}

} // namespace calvorn::app
