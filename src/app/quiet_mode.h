#pragma once
// The quiet mode ("-q" before the action): runs one action for a script, with
// no window and no message box, and tells the outcome by its exit code and by
// lines on the standard handles.

#include "app/command_line.h"
#include "app/console_output.h"
#include "app/exit_codes.h"

#include <optional>

namespace calvorn::app {

// Initialises OLE on this thread where the action needs it (the folder
// report and registration), and leaves it initialised.
ExitCode RunQuiet(const Command& command, IQuietOutput& output);

// The process entry's part: the quiet command of this process's command line,
// if it has one.
std::optional<Command> QuietCommandOfProcess();

} // namespace calvorn::app
