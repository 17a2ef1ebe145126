// calvorn-typelib32.exe / calvorn-typelib64.exe: loads the type library of
// one file and writes what the program needs of it to its standard output;
// with "/version" first, the file's version block as the platform's version
// calls give it; with "/types" first, the library's registered classes and
// interfaces; with "/register" or "/unregister", the library registered or
// unregistered by the system's calls. It runs in a process of its own because the system's loader
// and version calls can take their process down on a damaged file. Exit code
// 0 with an answer, 1 when the file holds no library.

#include "inspection/pe_version_reader.h"
#include "inspection/helper/typelib_loader.h"
#include "platform/dll_search.h"
#include "platform/ole_session.h"
#include "platform/text.h"

#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <string>

namespace {

int Answer(const std::string& answer) {
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), answer.data(), static_cast<DWORD>(answer.size()),
                &written, nullptr);
    return written == answer.size() ? 0 : 3;
}

int Run(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring(argv[1]) == L"/version")
        return Answer(calvorn::inspection::SerializeVersionBlock(
            calvorn::inspection::ReadVersionBlockByPlatform(argv[2])));
    if (argc == 3 && std::wstring(argv[1]) == L"/types") {
        if (FAILED(calvorn::platform::OleSession::Start()))
            return 4;
        auto types = calvorn::inspection::LoadLibraryTypes(argv[2]);
        if (!types)
            return 1;
        return Answer(calvorn::platform::Narrow(calvorn::inspection::SerializeTypes(*types)));
    }
    // "/register [/user] <file>", "/unregister [/user] <file>": the
    // system's HRESULT as "0x........".
    if ((argc == 3 || (argc == 4 && std::wstring(argv[2]) == L"/user")) &&
        (std::wstring(argv[1]) == L"/register" || std::wstring(argv[1]) == L"/unregister")) {
        if (FAILED(calvorn::platform::OleSession::Start()))
            return 4;
        const long code = calvorn::inspection::RegisterLibraryOf(
            argv[argc - 1], std::wstring(argv[1]) == L"/unregister", argc == 4);
        if (code == TYPE_E_CANTLOADLIBRARY)
            return 1;
        char text[16];
        std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(code));
        return Answer(text);
    }
    if (argc != 2)
        return 2;
    if (FAILED(calvorn::platform::OleSession::Start()))
        return 4;
    auto info = calvorn::inspection::LoadTypeLibInfo(argv[1]);
    if (!info)
        return 1;
    return Answer(calvorn::platform::Narrow(info->Serialize()));
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    calvorn::platform::RestrictDllSearchToSystemFolder();
    // No error boxes from the loader: this process has no user to answer them.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    // The library readers want COM; the version reader does not, and does
    // not load it.
    calvorn::platform::OleSession ole;
    try {
        return Run(argc, argv);
    } catch (...) {
        return 4; // no answer: the caller takes the file for one without
    }
}
