#pragma once
// Telling our Explorer verbs from another program's of the same name, by
// their command text alone. No platform headers here.

#include <string>
#include <string_view>

namespace calvorn::registry {

// Whether a verb's command starts this program (calvorn.exe or
// calvorn64.exe, from any folder, its path quoted or not) with exactly
// `arguments` (compared without regard to letter case): a verb written by
// any copy or any earlier version of the program is ours to replace or
// remove, any other is not.
bool IsOurCommand(std::wstring_view command, std::wstring_view arguments);

// The command of a verb that starts `program` with `arguments`: the path in
// double quotes, so that the shell cannot start a program named by the part
// before a blank, and every "%" of it doubled, so that the shell does not
// take a "%1" in a folder name for the clicked file.
std::wstring VerbCommand(std::wstring_view program, std::wstring_view arguments);

} // namespace calvorn::registry
