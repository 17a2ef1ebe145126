#pragma once
// On a user's first run: copies the components the program depends on into
// the system folder when they are missing there, and registers them.

#include <cstdint>
#include <string>

namespace calvorn::app {

void InstallDependencies();
void InstallDependency(const std::wstring& sFile);
std::int32_t RegisterServer(const std::wstring& sPath);

} // namespace calvorn::app
