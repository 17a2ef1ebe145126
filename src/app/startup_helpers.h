#pragma once
// Small routines shared by start-up and the rest of the program.

#include <windows.h>

#include "files/path_logic.h"

#include <string>
#include <string_view>

namespace calvorn::app {

// The folder of the running program, always ending in "\".
std::wstring InitAppPath();
// "<product> v.<major>.<minor>   (build <revision>)" from the program's own
// version information; the parts it cannot read stay empty or 0.
std::wstring BuildAppTitle();
std::wstring BuildAppTitle(const std::wstring& productName, unsigned major, unsigned minor,
                           unsigned revision);
// True or False in any letter case, or a number (non-zero is true);
// anything else is false.
bool ToBool(std::wstring_view value);
// Visits the window's controls in their control order and, for each Command
// button, runs Initialize (initialize) or sets Enabled to enabled.
void InitButtons(HWND window, bool initialize, bool enabled);
// The text before the first NUL, or all of it.
using files::StripNull;

} // namespace calvorn::app
