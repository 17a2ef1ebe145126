#include "ui/file_dialog.h"

#include "platform/proc_address.h"

#include <commdlg.h>
#include <ole2.h>

#include <algorithm>
#include <vector>

namespace calvorn::ui {

std::wstring StartFolder(const std::wstring& pathInBox) {
    std::wstring folder = pathInBox;
    while (!folder.empty()) {
        const DWORD attributes = ::GetFileAttributesW(folder.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return folder;
        const size_t cut = folder.find_last_of(L"\\/");
        // "C:\x" goes to "C:\", not to "C:", the drive's current folder.
        const size_t keep =
            cut != std::wstring::npos && cut > 0 && folder[cut - 1] == L':' ? cut + 1 : cut;
        if (cut == std::wstring::npos || keep == folder.size())
            return {};
        folder.resize(keep);
    }
    return {};
}

namespace {

std::optional<std::wstring> ShowDialog(HWND owner, const std::wstring& pathInBox,
                                       const std::wstring& filter, DWORD flags, bool save,
                                       const std::wstring& name, const wchar_t* extension) {
    // "|" separates the parts in the stored form; the dialog wants NULs and a
    // double NUL at the end.
    std::wstring filters = filter;
    for (wchar_t& c : filters)
        if (c == L'|')
            c = L'\0';
    filters.append(2, L'\0');
    // Long paths fit: 32K characters is the longest path the system takes.
    std::vector<wchar_t> chosen(32768, L'\0');
    name.copy(chosen.data(), std::min(name.size(), chosen.size() - 1));
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filters.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = chosen.data();
    ofn.nMaxFile = static_cast<DWORD>(chosen.size());
    ofn.lpstrDefExt = extension;
    ofn.Flags = flags;
    const std::wstring start = StartFolder(pathInBox);
    ofn.lpstrInitialDir = start.empty() ? nullptr : start.c_str();
    // Bound on first use: a start-up that never opens the dialog does not
    // load it.
    static auto* const getOpenFileName =
        platform::SystemProc<decltype(::GetOpenFileNameW)>(L"comdlg32.dll", "GetOpenFileNameW");
    static auto* const getSaveFileName =
        platform::SystemProc<decltype(::GetSaveFileNameW)>(L"comdlg32.dll", "GetSaveFileNameW");
    auto* const show = save ? getSaveFileName : getOpenFileName;
    // The dialog shows the shell's folders, which want COM on this thread;
    // set up here, a start-up that never opens the dialog never pays for it.
    ::OleInitialize(nullptr);
    if (!show || !show(&ofn))
        return std::nullopt;
    return std::wstring(chosen.data());
}

} // namespace

std::optional<std::wstring> ShowOpen(HWND owner, const std::wstring& pathInBox,
                                     const std::wstring& filter, DWORD flags) {
    return ShowDialog(owner, pathInBox, filter, flags, false, L"", nullptr);
}

std::optional<std::wstring> ShowSave(HWND owner, const std::wstring& name,
                                     const std::wstring& filter, const wchar_t* extension) {
    return ShowDialog(owner, L"", filter, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, true, name,
                      extension);
}

} // namespace calvorn::ui
