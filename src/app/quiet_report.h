#pragma once
// The folder report without a window: text, CSV or JSON Lines, to a file or
// to standard output, and no viewer opened.

#include "app/command_line.h"
#include "app/console_output.h"
#include "app/exit_codes.h"
#include "app/report_output.h"

#include <optional>
#include <string>

namespace calvorn::app {

// The report file when "-out" is not given: the interactive report's folder,
// `stem` ("output") and the format's extension.
std::wstring DefaultReportPath(ReportFormat format, const wchar_t* stem = L"output");

// Opens `report` where the command's "-out" sends it, or at the usual place
// under a name of its own; throws a platform::Failure as ReportOutput does.
void OpenQuietOutput(const Command& command, IQuietOutput& output, const wchar_t* stem,
                     std::optional<ReportOutput>& report, const ReportShape& shape = {});

// Writes the report that `command` asks for; logs the file written, or why
// none was. The file is put in place whole or not at all.
ExitCode RunQuietReport(const Command& command, IQuietOutput& output);

} // namespace calvorn::app
