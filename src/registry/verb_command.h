#pragma once
// Telling our Explorer verbs from another program's of the same name, by
// their command text alone. No platform headers here.

#include <string_view>

namespace calvorn::registry {

// Whether a verb's command starts this program (calvorn.exe or
// calvorn64.exe, from any folder, its path quoted or not) with exactly
// `arguments` (compared without regard to letter case): a verb written by
// any copy or any earlier version of the program is ours to replace or
// remove, any other is not.
bool IsOurCommand(std::wstring_view command, std::wstring_view arguments);

} // namespace calvorn::registry
