#pragma once
// Runs the real program from a batch file, as a deployment script does, and
// collects what the script sees: the exit code and the lines of standard
// output and standard error.

#include "e2e/registration/e2e_helpers.h"
#include "platform/text.h"
#include "support/program_driver.h"

#include <algorithm>
#include <cctype>

#include <sstream>

namespace calvorn::test {

struct BatchResult {
    std::optional<DWORD> cmdExit; // cmd's own exit code: the batch passes ours on
    std::string errorLevel;       // %ERRORLEVEL% as the batch saw it
    std::vector<std::string> out; // UTF-8 lines, line ends removed
    std::vector<std::string> err;
    std::string outBytes;
};

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// `arguments` follow the program's name in the batch file; they are ASCII.
inline BatchResult RunBatch(const std::wstring& arguments, const std::wstring& workingDir = {},
                            const std::wstring& program = ProgramPath(),
                            Rights rights = Rights::AsTest) {
    const std::wstring dir = MakeScratchDir(L"batch");
    const std::string batch = "@echo off\r\n\"" + platform::Narrow(program) + "\" " +
                              platform::Narrow(arguments) + " > \"" + platform::Narrow(dir) +
                              "out.txt\" 2> \"" + platform::Narrow(dir) +
                              "err.txt\"\r\n"
                              "set CODE=%ERRORLEVEL%\r\n"
                              ">\"" +
                              platform::Narrow(dir) +
                              "level.txt\" echo %CODE%\r\n"
                              "exit /b %CODE%\r\n";
    WriteText(dir + L"run.bat", batch);
    wchar_t system[MAX_PATH];
    ::GetSystemDirectoryW(system, MAX_PATH);
    BatchResult result;
    {
        ProgramRun run(std::wstring(system) + L"\\cmd.exe", L"/c \"" + dir + L"run.bat\"",
                       workingDir.empty() ? dir : workingDir, rights);
        result.cmdExit = run.WaitForExit(std::chrono::seconds(60));
    }
    result.errorLevel = ReadAll(dir + L"level.txt");
    while (!result.errorLevel.empty() &&
           std::isspace(static_cast<unsigned char>(result.errorLevel.back())))
        result.errorLevel.pop_back();
    result.outBytes = ReadAll(dir + L"out.txt");
    result.out = Lines(result.outBytes);
    result.err = Lines(ReadAll(dir + L"err.txt"));
    return result;
}

} // namespace calvorn::test
