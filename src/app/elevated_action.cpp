#include "app/elevated_action.h"

#include "app/exit_codes.h"

namespace calvorn::app {

std::wstring ElevatedArguments(MachineAction action, const std::wstring& path) {
    switch (action) {
    case MachineAction::Register:
        return L"-q -r \"" + path + L"\"";
    case MachineAction::Unregister:
        return L"-q -u \"" + path + L"\"";
    case MachineAction::InstallVerbs:
        return L"-q -s";
    case MachineAction::Fix:
        return L"-q -scan -fix";
    }
    return {};
}

std::wstring ElevationHint(MachineAction action, bool perUser) {
    const bool registration =
        action == MachineAction::Register || action == MachineAction::Unregister;
    std::wstring line = L"run calvorn from an elevated command prompt";
    if (registration && !perUser)
        line += L", or add -user to register for the current user only";
    return line;
}

std::wstring ElevatedOutcomeText(MachineAction action, unsigned long exitCode) {
    if (exitCode == static_cast<unsigned long>(ExitCode::Success)) {
        switch (action) {
        case MachineAction::Register:
            return L"Registered for all users, as administrator.";
        case MachineAction::Unregister:
            return L"Unregistered for all users, as administrator.";
        case MachineAction::InstallVerbs:
            return L"Shell Extensions Enabled, as administrator.";
        case MachineAction::Fix:
            return L"The broken registrations were removed, as administrator.";
        }
    }
    for (const ExitCodeRow& row : kExitCodes)
        if (static_cast<unsigned long>(row.code) == exitCode)
            return std::wstring(L"The run as administrator failed (") + row.word + L"): " +
                   row.meaning + L".";
    return L"The run as administrator ended with exit code " + std::to_wstring(exitCode) + L".";
}

} // namespace calvorn::app
