#pragma once
// "-q -check": whether each file's registration is on this machine, and for
// that file; one record per file, as text, CSV or JSON Lines.

#include "app/command_line.h"
#include "app/console_output.h"
#include "app/exit_codes.h"
#include "app/quiet_registration.h"
#include "inspection/registration_health.h"

#include <functional>
#include <optional>
#include <string>

namespace calvorn::inspection {
class ComponentInspector;
}

namespace calvorn::app {

struct CheckedFile {
    std::wstring path;
    inspection::EntrySource source = inspection::EntrySource::TypeLibrary;
    inspection::RegistrationHealth health;
    // Why the file could not be checked (its code and words); Success when it was.
    FileOutcome failure;
    // The machine's keys that changed while its registration code ran.
    std::optional<std::vector<std::wstring>> machineChanges;
};

// The record of one file in a format, and what goes before the first.
std::string EncodedCheck(ReportFormat format, const CheckedFile& file);
std::string CheckHeader(ReportFormat format);
// Success for a file registered here; the verdict's own code otherwise.
ExitCode ExitCodeOf(inspection::Verdict verdict);

// The entries a file registers; empty with `failure` set when it cannot
// tell, empty alone when it registers nothing.
using ExpectedSource = std::function<std::optional<inspection::ExpectedRegistration>(
    const std::wstring& path, FileOutcome& failure)>;

// What the component's own registration code writes, run in the registration
// host against a scratch key (the machine keeps its keys); for an EXE server
// or a file whose code did not run, what its type library registers.
std::optional<inspection::ExpectedRegistration>
ExpectedOfComponent(registration::RegistrationSession& session, const std::wstring& path,
                    FileOutcome& failure);

// The window's check of one file by the same means, in a session of its own
// whose waits keep the window painting; the report then shows the result.
void CheckInReport(inspection::ComponentInspector& report, const std::wstring& path);

// Checks every file of the command against this machine; the exit code of
// the first file not registered here, 0 when all are.
ExitCode RunQuietCheck(const Command& command, IQuietOutput& output,
                       const ExpectedSource& expectedOf);

} // namespace calvorn::app
