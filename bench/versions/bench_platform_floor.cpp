// The platform floor: per file, only the version calls, once each, and one
// query per key of the first translation and of the fixed information.
#include "bench_clock.h"
#include "files/folder_listing.h"
#include "platform/path_forms.h"

#include <cstdio>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_platform_floor FOLDER\n");
        return 2;
    }
    static const wchar_t* const kKeys[] = {
        L"CompanyName",    L"FileDescription", L"InternalName",
        L"LegalCopyright", L"LegalTrademarks", L"OriginalFilename",
        L"ProductName",    L"ProductVersion",  L"Comments"};
    const double start = Seconds();
    const auto files = calvorn::files::ListFiles(calvorn::platform::JoinPath(argv[1], L"*"), false);
    std::size_t versioned = 0;
    std::vector<unsigned char> block;
    for (const std::wstring& path : files) {
        DWORD handle = 0;
        const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &handle);
        if (size == 0)
            continue;
        block.assign(size, 0);
        if (!::GetFileVersionInfoW(path.c_str(), handle, size, block.data()))
            continue;
        void* value = nullptr;
        UINT length = 0;
        if (::VerQueryValueW(block.data(), L"\\", &value, &length))
            ++versioned;
        DWORD translation = 0x04B00409;
        if (::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length) &&
            length >= 4)
            translation = *static_cast<const DWORD*>(value);
        wchar_t sub[96];
        for (const wchar_t* key : kKeys) {
            std::swprintf(sub, 96, L"\\StringFileInfo\\%04x%04x\\%ls", translation & 0xFFFF,
                          translation >> 16, key);
            ::VerQueryValueW(block.data(), sub, &value, &length);
        }
    }
    std::printf("files %zu versioned %zu seconds %.6f\n", files.size(), versioned,
                Seconds() - start);
    return 0;
}
