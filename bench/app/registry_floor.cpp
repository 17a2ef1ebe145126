// The registry floor of the component report's "Other Versions Found!" list:
// only the reads the report needs for each registered version of a library
// (its name, the description, and the path under "0\win32"), with the fewest
// calls: the library key opened once, each version listed once and its two
// values read relative to that open key.
// usage: bench_registry_floor GUID [RUNS]; prints the best run's microseconds
// per version and the number of versions.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

double Now() {
    LARGE_INTEGER now, frequency;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Reads every version's two values; the count of versions read.
int ReadVersions(HKEY library) {
    wchar_t name[256];
    wchar_t path[MAX_PATH * 2];
    wchar_t value[1024];
    int versions = 0;
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        if (::RegEnumKeyExW(library, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        DWORD size = sizeof value;
        ::RegGetValueW(library, name, nullptr, RRF_RT_REG_SZ, nullptr, value, &size);
        std::swprintf(path, std::size(path), L"%ls\\0\\win32", name);
        size = sizeof value;
        ::RegGetValueW(library, path, nullptr, RRF_RT_REG_SZ, nullptr, value, &size);
        ++versions;
    }
    return versions;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_registry_floor GUID [RUNS]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, _wtoi(argv[2])) : 7;
    const std::wstring key = std::wstring(L"TypeLib\\") + argv[1];
    std::vector<double> perVersion;
    int versions = 0;
    for (int run = 0; run <= runs; ++run) {
        const double start = Now();
        HKEY library = nullptr;
        if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &library) != ERROR_SUCCESS)
            return 1;
        versions = ReadVersions(library);
        ::RegCloseKey(library);
        const double us = (Now() - start) * 1e6;
        if (run > 0 && versions > 0) // the first run warms the registry
            perVersion.push_back(us / versions);
    }
    std::sort(perVersion.begin(), perVersion.end());
    std::printf("%.2f %d\n", perVersion.empty() ? 0.0 : perVersion.front(), versions);
    return 0;
}
