#pragma once
// Where tests find the program and the fixtures: next to the running test.

#include <string>

namespace calvorn::test {

std::wstring BuildDir();    // ends in "\"
std::wstring ProgramPath(); // calvorn.exe, or calvorn64.exe in a 64-bit build
// The registration host of the build's own bitness, by its file name.
std::wstring HostFileName();
std::wstring FixturePath(const std::wstring& name);
// A fresh, empty folder under the build's scratch area, unique per call.
std::wstring MakeScratchDir(const std::wstring& hint);

// Whole files as bytes, for checking what the program wrote.
std::string ReadAll(const std::wstring& path);
void WriteText(const std::wstring& path, const std::string& text);
bool Exists(const std::wstring& path);

// An environment variable set for one scope; the program started from the
// test inherits it.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const wchar_t* name, const std::wstring& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    const wchar_t* name_;
};

} // namespace calvorn::test
