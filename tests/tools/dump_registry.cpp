// dump_registry.exe 32|64: every value under HKEY_CLASSES_ROOT and
// HKEY_LOCAL_MACHINE\Software (outside its Classes) in that registry view,
// and under HKEY_CURRENT_USER\Software, one line each:
// "<root>\<key>\t<value name>\t<type>\t<data in hex>", and a line
// "<root>\<key>" with no tab for every key. For comparing what a
// registration changed with what an export says it would.

#include "platform/text.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

void Print(const std::wstring& line) {
    const std::string utf8 = calvorn::platform::Narrow(line) + "\n";
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

void DumpKey(HKEY key, const std::wstring& path, REGSAM view, const wchar_t* skip) {
    Print(path);
    std::vector<wchar_t> name(32768);
    std::vector<BYTE> data(1 << 20);
    for (DWORD i = 0;; ++i) {
        DWORD chars = static_cast<DWORD>(name.size()), size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (::RegEnumValueW(key, i, name.data(), &chars, nullptr, &type, data.data(), &size) !=
            ERROR_SUCCESS)
            break;
        std::wstring line =
            path + L"\t" + std::wstring(name.data(), chars) + L"\t" + std::to_wstring(type) + L"\t";
        for (DWORD b = 0; b < size; ++b) {
            wchar_t pair[3];
            std::swprintf(pair, 3, L"%02x", data[b]);
            line += pair;
        }
        Print(line);
    }
    for (DWORD i = 0;; ++i) {
        DWORD chars = static_cast<DWORD>(name.size());
        if (::RegEnumKeyExW(key, i, name.data(), &chars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        const std::wstring sub(name.data(), chars);
        if (skip && ::CompareStringOrdinal(sub.c_str(), -1, skip, -1, TRUE) == CSTR_EQUAL)
            continue;
        HKEY child = nullptr;
        if (::RegOpenKeyExW(key, sub.c_str(), 0, KEY_READ | view, &child) != ERROR_SUCCESS)
            continue;
        DumpKey(child, path + L"\\" + sub, view, nullptr);
        ::RegCloseKey(child);
    }
}

void DumpRoot(HKEY root, const wchar_t* key, const std::wstring& path, REGSAM view,
              const wchar_t* skip = nullptr) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(root, key, 0, KEY_READ | view, &opened) != ERROR_SUCCESS)
        return;
    DumpKey(opened, path, view, skip);
    ::RegCloseKey(opened);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const REGSAM view =
        argc > 1 && std::wstring(argv[1]) == L"64" ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    DumpRoot(HKEY_CLASSES_ROOT, L"", L"HKEY_CLASSES_ROOT", view);
    DumpRoot(HKEY_LOCAL_MACHINE, L"Software", L"HKEY_LOCAL_MACHINE\\Software", view, L"Classes");
    DumpRoot(HKEY_CURRENT_USER, L"Software", L"HKEY_CURRENT_USER\\Software", view);
    return 0;
}
