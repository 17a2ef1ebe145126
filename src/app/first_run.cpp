#include "app/first_run.h"

#include "app/startup_helpers.h"

#include <windows.h>

#include <new>

namespace calvorn::app {

namespace {

std::wstring SectionKey(const std::wstring& section) {
    return L"Software\\Calvorn\\" + section;
}

} // namespace

std::wstring GetSetting(const std::wstring& section, const std::wstring& key,
                        const std::wstring& defaultValue) {
    std::wstring subKey = SectionKey(section);
    DWORD size = 0;
    if (::RegGetValueW(HKEY_CURRENT_USER, subKey.c_str(), key.c_str(), RRF_RT_REG_SZ, nullptr,
                       nullptr, &size) != ERROR_SUCCESS)
        return defaultValue;
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (::RegGetValueW(HKEY_CURRENT_USER, subKey.c_str(), key.c_str(), RRF_RT_REG_SZ, nullptr,
                       value.data(), &size) != ERROR_SUCCESS)
        return defaultValue;
    return StripNull(value);
}

void SaveSetting(const std::wstring& section, const std::wstring& key, const std::wstring& value) {
    ::RegSetKeyValueW(HKEY_CURRENT_USER, SectionKey(section).c_str(), key.c_str(), REG_SZ,
                      value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void InstallDependencies() {
    try {
        if (!ToBool(GetSetting(L"General", kSelfInstallSetting, L"false")))
            SaveSetting(L"General", kSelfInstallSetting, L"true");
    } catch (const std::bad_alloc&) {
        // Nothing here is worth stopping the start-up for.
    }
}

} // namespace calvorn::app
