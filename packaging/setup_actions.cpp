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

using calvorn::registry::clsRegistry;

// The associations the program's Options tab and its "-s" switch write, and
// the verbs of each.
struct Association {
    const wchar_t* name;
    std::vector<const wchar_t*> verbs;
};
const Association kAssociations[] = {{L".dll", {L"Register", L"UnRegister", L"Calvorn"}},
                                     {L".exe", {L"Register", L"UnRegister", L"Calvorn"}},
                                     {L".ocx", {L"Register", L"UnRegister", L"Calvorn"}},
                                     {L"Folder", {L"ActiveX Report"}}};

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

std::wstring TextValue(clsRegistry& registry, const std::wstring& key) {
    registry.SectionKey(key);
    registry.ValueKey(L"");
    calvorn::registry::RegValue value = registry.Value();
    const std::wstring* text = std::get_if<std::wstring>(&value);
    return text ? *text : std::wstring();
}

// Whether a verb of the association starts one of the installed programs.
// Verbs that start a copy elsewhere (the portable zip) keep working after the
// package is gone, so they stay.
bool StartsInstalledProgram(clsRegistry& registry, const Association& association,
                            const std::vector<std::wstring>& programs) {
    registry.ClassKey(calvorn::registry::kHKeyClassesRoot);
    std::wstring base = association.name;
    if (base != L"Folder")
        base = TextValue(registry, base);
    if (base.empty())
        return false;
    for (const wchar_t* verb : association.verbs) {
        const std::wstring command = TextValue(registry, base + L"\\shell\\" + verb + L"\\command");
        for (const std::wstring& program : programs) {
            const std::wstring quoted = L"\"" + program + L"\"";
            if (command.size() >= quoted.size() &&
                ::CompareStringOrdinal(command.c_str(), static_cast<int>(quoted.size()),
                                       quoted.c_str(), static_cast<int>(quoted.size()),
                                       TRUE) == CSTR_EQUAL)
                return true;
        }
    }
    return false;
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
        for (const Association& association : kAssociations) {
            clsRegistry registry;
            if (!StartsInstalledProgram(registry, association, programs))
                continue;
            registry.RemoveShellAssociation(programs.front(), association.name);
            Log(install, std::wstring(L"RemoveExplorerVerbs: removed the verbs of ") +
                             association.name + L".");
        }
    } catch (const std::bad_alloc&) {
        Log(install, L"RemoveExplorerVerbs: out of memory; verbs left alone.");
    }
    return ERROR_SUCCESS;
}
