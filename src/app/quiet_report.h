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

// Where "-out <out>" sends the output, for its failure lines: "-", the full
// path, or `usualPath` when "-out" is not given.
std::wstring OutputTarget(const std::wstring& out, const std::wstring& usualPath);

// The one opener of every quiet action's output, before any work is done:
// standard output ("-", reserved for the data), nowhere ("NUL"), or the file
// (its folder opened, the file claimed by identity, its temporary file made),
// `usualPath` claimed in `usualMode` when "-out" is not given. Throws a
// platform::Failure as ReportOutput and PlaceOf do.
void OpenOutput(const std::wstring& out, const std::wstring& usualPath, ReportClaim::Mode usualMode,
                ReportFormat format, IQuietOutput& output, std::optional<ReportOutput>& report,
                const ReportShape& shape = {});

// Opens `report` where the command's "-out" sends it, or at the usual place
// under a name of its own (see OpenOutput).
void OpenQuietOutput(const Command& command, IQuietOutput& output, const wchar_t* stem,
                     std::optional<ReportOutput>& report, const ReportShape& shape = {});

// Writes the report that `command` asks for; logs the file written, or why
// none was. The file is put in place whole or not at all.
ExitCode RunQuietReport(const Command& command, IQuietOutput& output);

} // namespace calvorn::app
