#pragma once
// Reads the rows of a list-view control that lives in another process, as
// assistive tools do: the item structure and the text buffer are placed in
// the target process, where the control can write to them.

#include <windows.h>

#include <string>
#include <vector>

namespace calvorn::test {

// Every row of the list view, each with the text of every column; empty
// when the control or its process cannot be reached.
std::vector<std::vector<std::wstring>> ReadListViewRows(HWND listView);

} // namespace calvorn::test
