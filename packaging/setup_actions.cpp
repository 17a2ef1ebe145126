// Actions that the MSI runs from its Binary table (never installed). The
// program installs its Explorer verbs itself; when the package is removed,
// verbs that would start a program no longer there go with it.

#include "registry/clsRegistry.h"

#include <windows.h>

#include <msi.h>
#include <msiquery.h>

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

// CustomActionData: the full path of the installed calvorn.exe, which is
// what the verbs' commands start. Removing the package must not fail over
// verbs, so this always reports success and logs what it did.
extern "C" __declspec(dllexport) UINT __stdcall RemoveExplorerVerbs(MSIHANDLE install) {
    try {
        const std::wstring program = CustomActionData(install);
        if (program.empty()) {
            Log(install, L"RemoveExplorerVerbs: no program path given; verbs left alone.");
            return ERROR_SUCCESS;
        }
        calvorn::registry::clsRegistry registry;
        for (const wchar_t* association : kAssociations)
            registry.RemoveShellAssociation(program, association);
        Log(install, L"RemoveExplorerVerbs: removed the verbs of " + program + L".");
    } catch (const std::bad_alloc&) {
        Log(install, L"RemoveExplorerVerbs: out of memory; verbs left alone.");
    }
    return ERROR_SUCCESS;
}
