#pragma once
// The first-run self-install and the per-user settings.
//
// The program ships no component of its own to install: it uses the
// platform's own controls. The first run therefore copies and registers
// nothing; above all it never takes a DLL from the program's folder (where
// anyone who can write beside a downloaded copy may have put one) into the
// system folder. It only records that the first run is done, per user, as the
// text value "SelfInstall" under HKEY_CURRENT_USER\Software\Calvorn\General,
// which older versions read and write the same way.

#include <string>

namespace calvorn::app {

inline constexpr const wchar_t* kSettingsKey = L"Software\\Calvorn\\General";
inline constexpr const wchar_t* kSelfInstallSetting = L"SelfInstall";

// Once per user; silent whatever happens.
void InstallDependencies();

// The per-user settings of the program, as text.
std::wstring GetSetting(const std::wstring& section, const std::wstring& key,
                        const std::wstring& defaultValue);
void SaveSetting(const std::wstring& section, const std::wstring& key, const std::wstring& value);

} // namespace calvorn::app
