#include "explorer_verb_removal.h"

#include "registry/registry_accessor.h"
#include "registry/verb_command.h"

namespace calvorn::packaging {

namespace {

using registry::RegistryAccessor;

std::wstring TextValue(RegistryAccessor& registry, const std::wstring& key) {
    registry.SectionKey(key);
    registry.ValueKey(L"");
    registry::RegValue value = registry.Value();
    const std::wstring* text = std::get_if<std::wstring>(&value);
    return text ? *text : std::wstring();
}

// Whether a verb of the association is ours and starts one of the programs.
bool StartsInstalledProgram(RegistryAccessor& registry, const registry::VerbAssociation& association,
                            const std::vector<std::wstring>& programs) {
    registry.ClassKey(registry::kHKeyClassesRoot);
    const std::wstring base =
        association.fileType ? TextValue(registry, association.name) : association.name;
    if (base.empty())
        return false;
    for (const registry::ExplorerVerb& verb : association.verbs) {
        const std::wstring command =
            TextValue(registry, base + L"\\shell\\" + verb.name + L"\\command");
        if (!registry::IsOurCommand(command, verb.arguments))
            continue;
        for (const std::wstring& program : programs)
            if (registry::StartsProgram(command, program))
                return true;
    }
    return false;
}

} // namespace

void RemoveVerbsOfPrograms(const std::vector<std::wstring>& programs,
                           const std::function<void(const std::wstring&)>& log) {
    if (programs.empty())
        return;
    for (const registry::VerbAssociation& association : registry::VerbAssociations()) {
        RegistryAccessor registry;
        if (!StartsInstalledProgram(registry, association, programs))
            continue;
        registry.RemoveShellAssociation(programs.front(), association.name);
        log(std::wstring(L"RemoveExplorerVerbs: removed the verbs of ") + association.name + L".");
    }
}

} // namespace calvorn::packaging
