// calvorn-typelib32.exe / calvorn-typelib64.exe: loads the type library of
// one file and writes what the program needs of it to its standard output.
// It runs in a process of its own because the system's loader can take its
// process down on a damaged library. Exit code 0 with an answer, 1 when the file holds no library.

#include "inspection/typelib_info.h"
#include "platform/dll_search.h"
#include "platform/text.h"

#include <windows.h>

#include <objbase.h>

int wmain(int argc, wchar_t** argv) {
    calvorn::platform::RestrictDllSearchToSystemFolder();
    if (argc != 2)
        return 2;
    // No error boxes from the loader: this process has no user to answer them.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    ::CoInitialize(nullptr);
    auto info = calvorn::inspection::TypeLibInfo::OpenInProcess(argv[1]);
    if (!info)
        return 1;
    const std::string answer = calvorn::platform::Narrow(info->Serialize());
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), answer.data(), static_cast<DWORD>(answer.size()),
                &written, nullptr);
    return written == answer.size() ? 0 : 3;
}
