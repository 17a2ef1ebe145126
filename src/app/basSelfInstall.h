#pragma once
// On a user's first run: copies the components the program depends on into
// the system folder when they are missing there, and registers them.
//
// Whether it has run is kept per user as the text value "SelfInstall" under
// HKEY_CURRENT_USER\Software\Calvorn\General.

#include <cstdint>
#include <string>

namespace calvorn::app {

inline constexpr const wchar_t* kSettingsKey = L"Software\\Calvorn\\General";
inline constexpr const wchar_t* kSelfInstallSetting = L"SelfInstall";

// The components, in the order they are installed; each name is the file's
// name both in the program folder and in the system folder.
inline constexpr const wchar_t* kDependencies[] = {L"prjXTab.ocx", L"MSFLXGRD.OCX", L"comdlg32.ocx",
                                                   L"TLBINF32.DLL"};

// Once per user; silent whatever happens.
void InstallDependencies();
// Copies `sFile` from the program folder unless the system folder has it,
// then registers the system folder's copy. Returns the registration status.
std::int32_t InstallDependency(const std::wstring& sFile);
// Registers an in-process server silently: a RegistrationStatus, or the
// number of an error raised on the way.
std::int32_t RegisterServer(const std::wstring& sPath);

// The per-user settings of the program, as text.
std::wstring GetSetting(const std::wstring& section, const std::wstring& key,
                        const std::wstring& defaultValue);
void SaveSetting(const std::wstring& section, const std::wstring& key, const std::wstring& value);

} // namespace calvorn::app
