#include "support/test_paths.h"

#include "platform/program_parts.h"
#include "platform/text.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace calvorn::test {

std::wstring BuildDir() {
    return platform::ExecutableFolder();
}
std::wstring ProgramPath() {
    return BuildDir() + platform::OwnProgramFileName();
}
std::wstring HostFileName() {
    return platform::PartFileName(platform::ProgramPart::RegistrationHost, platform::OwnBitness());
}
std::wstring FixturePath(const std::wstring& name) {
    return BuildDir() + L"fixtures\\" + name;
}

std::wstring MakeScratchDir(const std::wstring& hint) {
    static unsigned counter = 0;
    std::wstring root = BuildDir() + L"scratch\\";
    ::CreateDirectoryW(root.c_str(), nullptr);
    for (;;) {
        std::wstring dir = root + hint + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                           std::to_wstring(++counter);
        if (::CreateDirectoryW(dir.c_str(), nullptr))
            return dir + L"\\";
    }
}

std::string ReadAll(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteText(const std::wstring& path, const std::string& text) {
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out << text;
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

ScopedEnvironment::ScopedEnvironment(const wchar_t* name, const std::wstring& value) : name_(name) {
    ::SetEnvironmentVariableW(name, value.c_str());
}

ScopedEnvironment::~ScopedEnvironment() {
    ::SetEnvironmentVariableW(name_, nullptr);
}

} // namespace calvorn::test
