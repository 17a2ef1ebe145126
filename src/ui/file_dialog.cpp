#include "ui/file_dialog.h"

#include <commdlg.h>

#include <vector>

namespace calvorn::ui {

std::optional<std::wstring> ShowOpen(HWND owner, const std::wstring& filter, DWORD flags) {
    // "|" separates the parts in the stored form; the dialog wants NULs and a
    // double NUL at the end.
    std::wstring filters = filter;
    for (wchar_t& c : filters)
        if (c == L'|')
            c = L'\0';
    filters.append(2, L'\0');
    // Long paths fit: 32K characters is the longest path the system takes.
    std::vector<wchar_t> name(32768, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filters.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = name.data();
    ofn.nMaxFile = static_cast<DWORD>(name.size());
    ofn.Flags = flags;
    if (!::GetOpenFileNameW(&ofn))
        return std::nullopt;
    return std::wstring(name.data());
}

} // namespace calvorn::ui
