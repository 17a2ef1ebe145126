#pragma once
// The folder report without a window: text, CSV or JSON Lines, to a file or
// to standard output, and no viewer opened.

#include "app/command_line.h"
#include "app/console_output.h"
#include "app/exit_codes.h"
#include "app/folder_records.h"

#include <string>

namespace calvorn::app {

// The report file when "-out" is not given: the interactive report's folder,
// "output" and the format's extension.
std::wstring DefaultReportPath(ReportFormat format);

// One file's record: its version fields, size and last write, or the
// system's text for why it could not be read (locked, gone since the folder
// was listed) with no size or date.
FolderRecord ReadFolderRecord(const std::wstring& path);

// Writes the report that `command` asks for; logs the file written, or why
// none was. The file is put in place whole or not at all.
ExitCode RunQuietReport(const Command& command, IQuietOutput& output);

} // namespace calvorn::app
