#pragma once
// The common Open dialog as the main window uses it: an empty start name,
// one filter, the read-only check box hidden.

#include <windows.h>

#include <commdlg.h>

#include <optional>
#include <string>

namespace calvorn::ui {

// The filter in its stored form: description and pattern separated by "|".
inline constexpr const wchar_t* kAllFilesFilter = L"All files(*.*)|*.*";
inline constexpr DWORD kOpenFlags = OFN_HIDEREADONLY; // 4

// The chosen full path; nothing when the user cancelled or the dialog failed.
std::optional<std::wstring> ShowOpen(HWND owner, const std::wstring& filter = kAllFilesFilter,
                                     DWORD flags = kOpenFlags);

} // namespace calvorn::ui
