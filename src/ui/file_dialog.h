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

// The export's formats, in the order of ExportFormat.
inline constexpr const wchar_t* kExportFilters =
    L"Registry file (*.reg)|*.reg|WiX 4 fragment (*.wxs)|*.wxs|WiX 3 fragment (*.wxs)|*.wxs|"
    L"Registration-free manifest (*.manifest)|*.manifest|JSON Lines (*.jsonl)|*.jsonl";

struct SaveChoice {
    std::wstring path;
    int filterIndex = 0; // 0 for the first file type
};

// The name a Save dialog gives for the chosen type (0 for the first): a
// name without an extension, or with another offered type's, gets the
// chosen type's; any other extension was typed on purpose and stays.
std::wstring NameForType(const std::wstring& path, const std::wstring& filter, int filterIndex);

// The Save dialog, starting in the folder of `suggestedPath` with its name
// in the box. The name follows the type chosen (NameForType), in the box
// when the type is changed and on OK.
// Nothing when the user cancelled or the dialog failed.
std::optional<SaveChoice> ShowSave(HWND owner, const std::wstring& suggestedPath,
                                   const std::wstring& filter, int filterIndex = 0);

} // namespace calvorn::ui
