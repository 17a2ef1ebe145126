#include "app/quiet_registration.h"

#include "platform/proc_address.h"
#include "platform/unique_handle.h"
#include "registration/clsRegistrator.h"
#include "registration/module_check.h"

#include <windows.h>

#include <shellapi.h>

#include <algorithm>

namespace calvorn::app {

using registration::EngineOutcome;
using registration::Operation;

namespace {

FileOutcome Failed(ExitCode code, long hr, bool crashed = false) {
    return {code, registration::DescribeCode(hr, crashed)};
}

} // namespace

namespace {

// The code that stands for a failure found in the headers, before any load.
long CodeOfCause(const inspection::ModuleDiagnosis& diagnosis) {
    switch (diagnosis.cause) {
    case inspection::ModuleCause::NotWindowsModule:
        return HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT);
    case inspection::ModuleCause::UnsupportedMachine:
    case inspection::ModuleCause::MissingPart:
        return HRESULT_FROM_WIN32(ERROR_EXE_MACHINE_TYPE_MISMATCH);
    case inspection::ModuleCause::DotNetAssembly:
    case inspection::ModuleCause::MissingEntryPoint:
        return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    case inspection::ModuleCause::MissingImport:
        break;
    }
    return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
}

FileOutcome Classified(const EngineOutcome& outcome) {
    using namespace registration;
    const long code = outcome.code        ? outcome.code
                      : outcome.diagnosis ? CodeOfCause(*outcome.diagnosis)
                                          : 0;
    switch (outcome.status) {
    case rsRegistered:
    case rsUnregistered:
        return {};
    case rsLoadFailed:
        return Failed(ExitCode::NotLoaded, code ? code : HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
    case rsNotActiveX:
        return Failed(ExitCode::NoEntryPoint,
                      code ? code : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));
    case rsNoFile:
        return Failed(ExitCode::BadArguments, HRESULT_FROM_WIN32(ERROR_INVALID_NAME));
    case rsRegisterFailed:
    case rsUnregisterFailed:
        if (outcome.crashed)
            return Failed(ExitCode::Crashed, code, true);
        if (outcome.timedOut)
            return Failed(ExitCode::TimedOut, code);
        return Failed(ExitCode::EntryPointFailed, code ? code : E_FAIL);
    case rsNone:
        break;
    }
    // No worker could be started: the entry point never ran.
    return Failed(ExitCode::EntryPointFailed, code ? code : E_UNEXPECTED);
}

} // namespace

FileOutcome OutcomeOf(const EngineOutcome& outcome) {
    FileOutcome classified = Classified(outcome);
    // The cause in words, as the interactive message adds it.
    if (outcome.diagnosis && classified.code != ExitCode::Success)
        classified.detail += L" " + registration::DiagnosisText(*outcome.diagnosis);
    return classified;
}

FileOutcome OutcomeOf(const ServerRun& run) {
    if (run.startError)
        return Failed(ExitCode::ServerNotStarted, HRESULT_FROM_WIN32(run.startError));
    if (run.timedOut)
        return Failed(ExitCode::TimedOut, HRESULT_FROM_WIN32(ERROR_TIMEOUT));
    if (run.exitCode != 0)
        return Failed(ExitCode::ServerFailed, static_cast<long>(run.exitCode));
    return {};
}

std::wstring LogLine(Operation operation, const std::wstring& path, const FileOutcome& outcome) {
    if (outcome.code == ExitCode::Success)
        return (operation == Operation::Register ? L"registered \"" : L"unregistered \"") + path +
               L"\"";
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

ExitCode RegisterEach(Operation operation, const std::vector<std::wstring>& paths,
                      const FileRegistrar& registrar, IQuietOutput& output) {
    ExitCode first = ExitCode::Success;
    size_t failures = 0;
    for (const std::wstring& path : paths) {
        FileOutcome outcome = registrar(path);
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

ServerRun RunServer(const std::wstring& path, const wchar_t* switchText) {
    ServerRun run;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = L"Open";
    info.lpFile = path.c_str();
    info.lpParameters = switchText;
    info.nShow = SW_SHOWNORMAL;
    // shell32 is bound when first needed: the window's start-up does not load it.
    static auto* const shellExecuteEx =
        platform::SystemProc<decltype(::ShellExecuteExW)>(L"shell32.dll", "ShellExecuteExW");
    if (!shellExecuteEx || !shellExecuteEx(&info) || !info.hProcess) {
        DWORD error = shellExecuteEx ? ::GetLastError() : ERROR_PROC_NOT_FOUND;
        run.startError = error ? error : ERROR_FILE_NOT_FOUND;
        return run;
    }
    platform::UniqueHandle process(info.hProcess);
    if (::WaitForSingleObject(process.get(), registration::kRegistrationTimeoutMs) !=
        WAIT_OBJECT_0) {
        run.timedOut = true;
        return run;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process.get(), &code);
    run.exitCode = code;
    return run;
}

} // namespace

FileOutcome RegisterFile(Operation operation, const std::wstring& path, bool perUser) {
    if (registration::IsExeServer(path)) {
        // An EXE server registers itself; it has no common switch for one user.
        if (perUser)
            return Failed(ExitCode::ServerNotStarted, HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED));
        return OutcomeOf(
            RunServer(path, operation == Operation::Register ? L"/regserver" : L"/unregserver"));
    }
    // The classes root is redirected where the entry point runs: in the host.
    registration::RegistrationOptions options;
    options.perUser = perUser;
    return OutcomeOf(
        registration::RunChecked(registration::SystemEngine(), path, operation, options));
}

} // namespace calvorn::app
