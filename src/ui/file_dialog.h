#pragma once
// The common Open dialog as the main window uses it: the kinds of file the
// program reads offered first, the read-only check box hidden, and the
// folder of the path already in the box as the start.

#include <windows.h>

#include <commdlg.h>

#include <optional>
#include <string>

namespace calvorn::ui {

// The filters in their stored form: description and pattern separated by "|".
inline constexpr const wchar_t* kOpenFilters = L"Components (*.dll;*.ocx;*.exe)|*.dll;*.ocx;*.exe|"
                                               L"Type libraries (*.tlb;*.olb)|*.tlb;*.olb|"
                                               L"All files (*.*)|*.*";
inline constexpr DWORD kOpenFlags = OFN_HIDEREADONLY; // 4

// The folder the dialog starts in for a path a box holds: the path itself
// when it names a folder, else the nearest folder above it that exists;
// empty when none does (the dialog then starts where the system chooses).
std::wstring StartFolder(const std::wstring& pathInBox);

// The chosen full path; nothing when the user cancelled or the dialog failed.
std::optional<std::wstring> ShowOpen(HWND owner, const std::wstring& pathInBox = L"",
                                     const std::wstring& filter = kOpenFilters,
                                     DWORD flags = kOpenFlags);

// The Save As dialog, `name` offered, asking before a file is replaced; the
// extension of the first filter is added to a name typed without one.
std::optional<std::wstring> ShowSave(HWND owner, const std::wstring& name,
                                     const std::wstring& filter, const wchar_t* extension);

} // namespace calvorn::ui
