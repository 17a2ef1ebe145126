#pragma once
// What the probe servers leave in the registry, and cleaning it away.

#include <windows.h>

#include <optional>
#include <string>

namespace calvorn::test {

inline const wchar_t* kProbeRoot = L"Software\\CalvornProbe";
inline const wchar_t* kProbeTypeLib = L"TypeLib\\{5B1E7C2A-3F4D-4E8A-9C61-0D2F8A7B4C11}\\1.0";

inline bool KeyExists(HKEY root, const std::wstring& key) {
    HKEY h = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(h);
    return true;
}

inline std::wstring ProbeKey(const std::wstring& fileName) {
    return std::wstring(kProbeRoot) + L"\\" + fileName;
}

inline std::optional<std::wstring> ProbeText(const std::wstring& fileName, const wchar_t* value) {
    wchar_t buffer[1024];
    DWORD size = sizeof buffer;
    if (::RegGetValueW(HKEY_CURRENT_USER, ProbeKey(fileName).c_str(), value, RRF_RT_REG_SZ, nullptr,
                       buffer, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(buffer);
}

inline std::optional<DWORD> ProbeNumber(const std::wstring& fileName) {
    DWORD number = 0, size = sizeof number;
    if (::RegGetValueW(HKEY_CURRENT_USER, ProbeKey(fileName).c_str(), L"Number", RRF_RT_REG_DWORD,
                       nullptr, &number, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return number;
}

inline void CleanProbeRegistry() {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kProbeRoot);
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"TypeLib\\{5B1E7C2A-3F4D-4E8A-9C61-0D2F8A7B4C11}");
}

} // namespace calvorn::test
