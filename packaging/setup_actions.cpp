// Actions that the MSI runs from its Binary table (never installed). The
// program installs its Explorer verbs itself; when the package is removed,
// verbs that would start a program no longer there go with it.

#include "explorer_verb_removal.h"

#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

namespace {

std::wstring CustomActionData(MSIHANDLE install) {
    wchar_t empty[1] = L"";
    DWORD size = 0;
    if (::MsiGetPropertyW(install, L"CustomActionData", empty, &size) != ERROR_MORE_DATA)
        return {};
    std::vector<wchar_t> buffer(size + 1);
    size = static_cast<DWORD>(buffer.size());
    if (::MsiGetPropertyW(install, L"CustomActionData", buffer.data(), &size) != ERROR_SUCCESS)
        return {};
    return std::wstring(buffer.data(), size);
}

void Log(MSIHANDLE install, const std::wstring& text) {
    PMSIHANDLE record = ::MsiCreateRecord(0);
    ::MsiRecordSetStringW(record, 0, text.c_str());
    ::MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
}

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> parts;
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t end = std::min(text.find(separator, start), text.size());
        if (end > start)
            parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

} // namespace

// CustomActionData: the full paths of the installed programs, separated by
// ";". The verbs of an association go when one of them starts an installed
// program; the accessor's removal takes only the program's own verbs.
// Removing the package must not fail over verbs, so this always reports
// success and logs what it did.
extern "C" __declspec(dllexport) UINT __stdcall RemoveExplorerVerbs(MSIHANDLE install) {
    try {
        const std::vector<std::wstring> programs = Split(CustomActionData(install), L';');
        calvorn::packaging::RemoveVerbsOfPrograms(
            programs, [install](const std::wstring& line) { Log(install, line); });
    } catch (const std::bad_alloc&) {
        Log(install, L"RemoveExplorerVerbs: out of memory; verbs left alone.");
    }
    return ERROR_SUCCESS;
}
