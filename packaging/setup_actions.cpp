// Actions that the MSI runs from its Binary table (never installed). The
// program installs its Explorer verbs itself; when the package is removed,
// verbs that would start a program no longer there go with it.

#include "registry/clsRegistry.h"

#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

namespace {

// The associations the program's Options tab and its "-s" switch write.
const wchar_t* const kAssociations[] = {L".dll", L".exe", L".ocx", L"Folder"};

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

} // namespace

// CustomActionData: the full paths of the installed programs, separated by
// ";", which are what the verbs' commands start. Removing the package must
// not fail over verbs, so this always reports success and logs what it did.
extern "C" __declspec(dllexport) UINT __stdcall RemoveExplorerVerbs(MSIHANDLE install) {
    try {
        const std::wstring programs = CustomActionData(install);
        calvorn::registry::clsRegistry registry;
        for (std::size_t start = 0; start < programs.size();) {
            std::size_t end = std::min(programs.find(L';', start), programs.size());
            const std::wstring program = programs.substr(start, end - start);
            start = end + 1;
            if (program.empty())
                continue;
            for (const wchar_t* association : kAssociations)
                registry.RemoveShellAssociation(program, association);
            Log(install, L"RemoveExplorerVerbs: no verb left that starts " + program + L".");
        }
    } catch (const std::bad_alloc&) {
        Log(install, L"RemoveExplorerVerbs: out of memory; verbs left alone.");
    }
    return ERROR_SUCCESS;
}
