#pragma once
// "-q -e": each component's DllRegisterServer runs with the registry's roots
// redirected into a scratch key, and what it wrote is written to one file in
// the format asked for; the machine's registry is left as it was.

#include "app/command_line.h"
#include "app/console_output.h"
#include "app/exit_codes.h"

#include <string>
#include <vector>

namespace calvorn::app {

// `files`: the paths made whole (ExpandPath). OLE is initialised by the caller.
ExitCode RunQuietExport(const Command& command, const std::vector<std::wstring>& files,
                        IQuietOutput& output);

// "<first file's name without its extension><extension>" in the current
// folder; "export<extension>" when there is no file.
std::wstring DefaultExportPath(const std::vector<std::wstring>& files, std::wstring_view extension);

} // namespace calvorn::app
