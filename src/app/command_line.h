#pragma once
// The grammar of the program's command line, kept free of Windows headers so
// that it builds and is fuzzed natively as well.

#include <string>
#include <string_view>
#include <vector>

namespace calvorn::app {

// The arguments after the program name in a full process command line
// (GetCommandLineW), as the program receives them: the program name is
// skipped by the system's rules (quoted, or up to the first blank), then the
// blanks that separate it from the arguments.
std::wstring ArgumentsOf(std::wstring_view fullCommandLine);

// Splits the argument text at every space, then applies the quote rule: the
// text after the first double quote, less the last character, replaces
// element 1 after a switch ("-r", "-u", "-s", "-f") or element 0 otherwise.
// With a quote present the list always has exactly two elements.
std::vector<std::wstring> SplitArguments(std::wstring_view arguments);

// A path without ":\" is taken as relative to the program folder. Absolute
// UNC paths (two leading backslashes) are left alone, as are empty paths.
// "/" counts as "\" and comes back as "\" ("C:/dir/x.dll" is absolute).
std::wstring ApplyPathRule(const std::wstring& path, const std::wstring& appPath);

enum class CommandAction { Register, FolderReport, Unregister, InstallVerbs, OpenReport };

struct Command {
    CommandAction action = CommandAction::OpenReport;
    std::wstring path; // after the path rule; unused by InstallVerbs
};

// The action that a non-empty argument text asks for.
Command ParseCommand(std::wstring_view arguments, const std::wstring& appPath);

} // namespace calvorn::app
