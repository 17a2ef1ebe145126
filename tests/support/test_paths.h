#pragma once
// Where tests find the program and the fixtures: next to the running test.

#include <string>

namespace calvorn::test {

std::wstring BuildDir();    // ends in "\"
std::wstring ProgramPath(); // calvorn.exe of this build
std::wstring FixturePath(const std::wstring& name);
// A fresh, empty folder under the build's scratch area, unique per call.
std::wstring MakeScratchDir(const std::wstring& hint);

} // namespace calvorn::test
