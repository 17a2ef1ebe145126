#include "ui/file_dialog.h"

#include "platform/ole_session.h"
#include "platform/proc_address.h"

#include <commdlg.h>

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

// "|" separates the parts in the stored form; the dialog wants NULs and a
// double NUL at the end.
std::wstring DialogFilters(const std::wstring& filter) {
    std::wstring filters = filter;
    for (wchar_t& c : filters)
        if (c == L'|')
            c = L'\0';
    filters.append(2, L'\0');
    return filters;
}

// The extension of the pattern of one file type ("*.reg" gives ".reg").
std::wstring PatternExtension(const std::wstring& filter, int index) {
    std::size_t start = 0;
    for (int part = 0; part < index * 2 + 1; ++part) {
        start = filter.find(L'|', start);
        if (start == std::wstring::npos)
            return {};
        ++start;
    }
    const std::wstring pattern = filter.substr(start, filter.find(L'|', start) - start);
    const std::size_t dot = pattern.find(L'.');
    return dot == std::wstring::npos || pattern.find(L'*', dot) != std::wstring::npos
               ? std::wstring()
               : pattern.substr(dot);
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

struct SaveHookData {
    const std::wstring* filter;
};

// The name in the box follows the type the user picks, as it will on OK:
// choosing WiX after the suggested "a.reg" shows "a.wxs".
UINT_PTR CALLBACK FollowTheType(HWND hook, UINT message, WPARAM, LPARAM lp) {
    if (message == WM_INITDIALOG) {
        const auto* ofn = reinterpret_cast<const OPENFILENAMEW*>(lp);
        ::SetWindowLongPtrW(hook, DWLP_USER, static_cast<LONG_PTR>(ofn->lCustData));
        return FALSE;
    }
    if (message != WM_NOTIFY)
        return FALSE;
    const auto* note = reinterpret_cast<const OFNOTIFYW*>(lp);
    const auto* data = reinterpret_cast<const SaveHookData*>(::GetWindowLongPtrW(hook, DWLP_USER));
    if (note->hdr.code != CDN_TYPECHANGE || !data || !note->lpOFN)
        return FALSE;
    HWND dialog = ::GetParent(hook);
    wchar_t typed[MAX_PATH] = {};
    if (::SendMessageW(dialog, CDM_GETSPEC, MAX_PATH, reinterpret_cast<LPARAM>(typed)) <= 1)
        return FALSE;
    const int index = static_cast<int>(note->lpOFN->nFilterIndex) - 1;
    const std::wstring name = NameForType(typed, *data->filter, index < 0 ? 0 : index);
    if (name != typed)
        // The name box is a combo box in the newer layout, an edit in the older.
        for (const int control : {0x47c, 0x480})
            ::SendMessageW(dialog, CDM_SETCONTROLTEXT, control,
                           reinterpret_cast<LPARAM>(name.c_str()));
    return FALSE;
}

} // namespace

std::wstring NameForType(const std::wstring& path, const std::wstring& filter, int filterIndex) {
    const std::wstring chosen = PatternExtension(filter, filterIndex);
    const std::size_t nameStart = path.find_last_of(L"\\/");
    const std::size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos || (nameStart != std::wstring::npos && dot < nameStart))
        return path + chosen;
    const std::wstring given = path.substr(dot);
    if (chosen.empty() || SameText(given, chosen))
        return path;
    const auto parts = std::count(filter.begin(), filter.end(), L'|') + 1;
    for (int index = 0; index < parts / 2; ++index)
        if (SameText(given, PatternExtension(filter, index)))
            return path.substr(0, dot) + chosen;
    return path;
}

std::optional<std::wstring> ShowOpen(HWND owner, const std::wstring& pathInBox,
                                     const std::wstring& filter, DWORD flags) {
    const std::wstring filters = DialogFilters(filter);
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
    const std::wstring start = StartFolder(pathInBox);
    ofn.lpstrInitialDir = start.empty() ? nullptr : start.c_str();
    // Bound on first use: a start-up that never opens the dialog does not
    // load it.
    static auto* const getOpenFileName =
        platform::SystemProc<decltype(::GetOpenFileNameW)>(L"comdlg32.dll", "GetOpenFileNameW");
    // The dialog shows the shell's folders, which want COM on this thread;
    // asked for here, a start-up that never opens the dialog never pays for
    // it. Without COM the dialog still opens, showing plain folders.
    platform::OleSession::Start();
    if (!getOpenFileName || !getOpenFileName(&ofn))
        return std::nullopt;
    return std::wstring(name.data());
}

std::optional<SaveChoice> ShowSave(HWND owner, const std::wstring& suggestedPath,
                                   const std::wstring& filter, int filterIndex) {
    const std::wstring filters = DialogFilters(filter);
    std::vector<wchar_t> name(32768, L'\0');
    const std::size_t slash = suggestedPath.find_last_of(L"\\/");
    const std::wstring folder =
        slash == std::wstring::npos ? std::wstring() : suggestedPath.substr(0, slash);
    const std::wstring suggestedName =
        slash == std::wstring::npos ? suggestedPath : suggestedPath.substr(slash + 1);
    suggestedName.copy(name.data(), std::min(suggestedName.size(), name.size() - 1));
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filters.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(filterIndex + 1);
    ofn.lpstrFile = name.data();
    ofn.nMaxFile = static_cast<DWORD>(name.size());
    ofn.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOREADONLYRETURN |
                OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLESIZING;
    SaveHookData hookData{&filter};
    ofn.lpfnHook = FollowTheType;
    ofn.lCustData = reinterpret_cast<LPARAM>(&hookData);
    const std::wstring start = StartFolder(folder);
    ofn.lpstrInitialDir = start.empty() ? nullptr : start.c_str();
    static auto* const getSaveFileName =
        platform::SystemProc<decltype(::GetSaveFileNameW)>(L"comdlg32.dll", "GetSaveFileNameW");
    platform::OleSession::Start();
    if (!getSaveFileName || !getSaveFileName(&ofn))
        return std::nullopt;
    SaveChoice choice{std::wstring(name.data()),
                      ofn.nFilterIndex > 0 ? static_cast<int>(ofn.nFilterIndex) - 1 : 0};
    choice.path = NameForType(choice.path, filter, choice.filterIndex);
    return choice;
}

} // namespace calvorn::ui
