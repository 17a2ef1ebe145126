#include "platform/elevation.h"

#include "platform/proc_address.h"
#include "platform/unique_handle.h"

#include <windows.h>

#include <shellapi.h>

namespace calvorn::platform {

ElevationState ProcessElevation() {
    ElevationState state;
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw))
        return state;
    const UniqueHandle token(raw);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size))
        state.elevated = elevation.TokenIsElevated != 0;
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    if (::GetTokenInformation(token.get(), TokenElevationType, &type, sizeof type, &size))
        state.kind = type == TokenElevationTypeFull      ? TokenKind::Full
                     : type == TokenElevationTypeLimited ? TokenKind::Limited
                                                         : TokenKind::Default;
    return state;
}

bool RunsElevated() {
    // The token of a process does not change while it runs.
    static const bool elevated = ProcessElevation().elevated;
    return elevated;
}

bool IsAccessDenied(long code) {
    return code == E_ACCESSDENIED || code == STG_E_ACCESSDENIED;
}

ElevatedRun RunElevated(const std::wstring& program, const std::wstring& arguments,
                        WaitStyle wait) {
    ElevatedRun run;
    const auto shellExecute =
        SystemProc<decltype(::ShellExecuteExW)>(L"shell32.dll", "ShellExecuteExW");
    if (!shellExecute) {
        run.error = ERROR_PROC_NOT_FOUND;
        return run;
    }
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"runas";
    info.lpFile = program.c_str();
    info.lpParameters = arguments.c_str();
    info.nShow = SW_HIDE;
    if (!shellExecute(&info) || !info.hProcess) {
        run.error = ::GetLastError();
        if (!run.error)
            run.error = ERROR_CANCELLED;
        return run;
    }
    const UniqueHandle process(info.hProcess);
    // The second run is bounded by its own action's bounds; it is not ended
    // from here, since it may be writing the machine's keys.
    WaitForHandle(process.get(), INFINITE, wait);
    DWORD code = 0;
    if (::GetExitCodeProcess(process.get(), &code))
        run.exitCode = code;
    else
        run.error = ::GetLastError();
    return run;
}

} // namespace calvorn::platform
