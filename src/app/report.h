#pragma once
// The folder report: one block of version fields for every DLL, OCX and EXE
// of a folder, written to a text file that is then opened with the shell.

#include <string>

namespace calvorn::app {

void CreateReport(const std::wstring& sFolder);
void OpenDocument(const std::wstring& sPath);

} // namespace calvorn::app
