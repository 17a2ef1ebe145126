#include "support/test_paths.h"

#include "platform/text.h"

#include <windows.h>

namespace calvorn::test {

std::wstring BuildDir() {
    return platform::ExecutableFolder();
}
std::wstring ProgramPath() {
    return BuildDir() + L"calvorn.exe";
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

} // namespace calvorn::test
