#pragma once
// The actions that change the machine, as a second run of the program
// carries them out with the administrator's rights: its quiet command line,
// and the words for what came of it. Free of Windows headers, so that it is
// tested natively as well.

#include <string>

namespace calvorn::app {

enum class MachineAction { Register, Unregister, InstallVerbs, Fix };

// The quiet command line (after the program name) that carries out one
// action, so that the second run never asks anything: `path` is the
// component's, unused by InstallVerbs and Fix.
std::wstring ElevatedArguments(MachineAction action, const std::wstring& path);

// Quiet mode's one line after an action was refused for want of rights.
std::wstring ElevationHint(MachineAction action, bool perUser);

// The window's words for the second run's exit code.
std::wstring ElevatedOutcomeText(MachineAction action, unsigned long exitCode);

} // namespace calvorn::app
