#pragma once
// The machine scan without a window ("-q -scan"): the broken COM
// registrations in text, CSV or JSON Lines, to a file or to standard output,
// and with "-fix" their removal after a backup.

#include "app/command_line.h"
#include "app/console_output.h"
#include "app/exit_codes.h"

namespace calvorn::app {

ExitCode RunQuietScan(const Command& command, IQuietOutput& output);

// "-q -restore": a repair's backup written back into the registry view it
// names.
ExitCode RunQuietRestore(const Command& command, IQuietOutput& output);

} // namespace calvorn::app
