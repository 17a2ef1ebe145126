#pragma once
// "-q -e": each component's DllRegisterServer runs with the registry's roots
// redirected into a scratch key, and what it wrote is written to one file in
// the format asked for; the machine's registry is left as it was.

#include "app/command_line.h"
#include "app/console_output.h"
#include "app/exit_codes.h"

#include "registration/export/export_formats.h"
#include "registration/registration_engine.h"

#include <optional>
#include <string>
#include <vector>

namespace calvorn::app {

// `files`: the paths made whole (ExpandPath). OLE is initialised by the caller.
ExitCode RunQuietExport(const Command& command, const std::vector<std::wstring>& files,
                        IQuietOutput& output);

// What an export writes of one file: what its registration wrote (the
// outcome must hold a capture), its version, and its path's short form.
registration::ExportedFile ExportedFileOf(const registration::EngineOutcome& outcome,
                                          const std::wstring& path);

// Puts `bytes` at `target` whole or not at all (a temporary file first);
// nothing on success, else the Win32 error.
std::optional<unsigned long> WriteExportFile(const std::string& bytes, const std::wstring& target);

// "<first file's name without its extension><extension>" in the current
// folder; "export<extension>" when there is no file.
std::wstring DefaultExportPath(const std::vector<std::wstring>& files, std::wstring_view extension);

} // namespace calvorn::app
