// The Explorer verbs, written and removed through the accessor's own
// operations so that every failure lands in its error record. Only verbs
// whose command is ours are replaced or removed: a verb of the same name that
// another program put there is left as it is and named to the caller.

#include "registry/registry_accessor.h"
#include "registry/verb_command.h"

#include <windows.h>

namespace calvorn::registry {

namespace {

bool SameName(const std::wstring& a, const wchar_t* b) {
    return _wcsicmp(a.c_str(), b) == 0;
}

} // namespace

// The ProgID is the file type's default value. An empty one would put the
// verbs straight under the root, so it is recorded as a failure instead.
std::wstring RegistryAccessor::ProgIdOf(const std::wstring& fileType) {
    std::wstring progId = ReadProgId(fileType);
    if (progId.empty())
        Record(kErrRegistry,
               L"Failed to read the ProgID of registry Key: '" + RootAndSection() + L"'");
    return progId;
}

std::wstring RegistryAccessor::ReadProgId(const std::wstring& fileType) {
    sectionKey_ = fileType;
    valueKey_.clear();
    std::optional<RegValue> value = ReadValue();
    const std::wstring* progId = value ? std::get_if<std::wstring>(&*value) : nullptr;
    return progId ? *progId : std::wstring();
}

std::wstring RegistryAccessor::FileTypeProgId(const std::wstring& fileType) {
    classKey_ = kHKeyClassesRoot;
    return ReadProgId(fileType);
}

// The key under which the association's verbs live: "Folder" itself, or the
// file type's ProgID; empty when the file type names none.
std::wstring RegistryAccessor::VerbBase(const std::wstring& association, bool record) {
    if (IsFolderAssociation(association))
        return association;
    return record ? ProgIdOf(association) : ReadProgId(association);
}

RegistryAccessor::VerbOwner RegistryAccessor::OwnerOfVerb(const std::wstring& verbKey,
                                                          const std::wstring& arguments,
                                                          std::wstring& command) {
    sectionKey_ = verbKey + L"\\command";
    valueKey_.clear();
    const std::int32_t type = valueType_;
    std::optional<RegValue> value = ReadValue();
    valueType_ = type;
    if (value) {
        command = ValueAsText(*value);
        return IsOurCommand(command, arguments) ? VerbOwner::Ours : VerbOwner::Other;
    }
    command.clear();
    sectionKey_ = verbKey;
    if (!KeyExists())
        return VerbOwner::None;
    // A verb without a command of its own may still be another program's
    // (one the shell starts another way); only empty keys are free.
    std::vector<std::wstring> names;
    std::int32_t count = 0;
    EnumerateValues(names, count);
    if (count > 0)
        return VerbOwner::Other;
    try {
        EnumerateSections(names, count);
    } catch (const platform::Failure&) {
        return VerbOwner::Other;
    }
    for (const std::wstring& name : names)
        if (!SameName(name, L"command"))
            return VerbOwner::Other;
    return VerbOwner::None;
}

// Commands are REG_SZ whatever the object read last and whatever the path
// holds: a "%" pair in a folder name must not turn into an expansion.
void RegistryAccessor::WriteCommand(const std::wstring& key, const std::wstring& command) {
    sectionKey_ = key;
    valueKey_.clear();
    valueType_ = REG_SZ;
    WriteValue(command, REG_SZ, false);
}

void RegistryAccessor::DeleteSection(const std::wstring& key) {
    sectionKey_ = key;
    DeleteKey();
}

std::vector<std::wstring> RegistryAccessor::CreateShellAssociation(std::wstring sExePath,
                                                                   std::wstring sAssociation) {
    classKey_ = kHKeyClassesRoot;
    std::vector<std::wstring> problems;
    const std::wstring base = VerbBase(sAssociation, true);
    if (base.empty()) {
        problems.push_back(sAssociation + L": HKEY_CLASSES_ROOT\\" + sAssociation +
                           L" names no file type (ProgID), so it has no verbs.");
        return problems;
    }
    for (const ExplorerVerb& verb : VerbsOf(sAssociation)) {
        const std::wstring key = base + L"\\shell\\" + verb.name;
        std::wstring command;
        if (OwnerOfVerb(key, verb.arguments, command) == VerbOwner::Other) {
            problems.push_back(sAssociation + L": the verb \"" + verb.name + L"\" of " + base +
                               L" belongs to another program and was left as it is: " +
                               (command.empty() ? L"(no command)" : command));
            continue;
        }
        const platform::ErrorRecord before = lastError_;
        lastError_ = {};
        WriteCommand(key + L"\\command", VerbCommand(sExePath, verb.arguments));
        if (lastError_.IsSet())
            problems.push_back(sAssociation + L": the verb \"" + verb.name +
                               L"\" could not be written: " + lastError_.description);
        else
            lastError_ = before;
    }
    return problems;
}

std::vector<std::wstring> RegistryAccessor::RemoveShellAssociation(std::wstring /*sExePath*/,
                                                                   std::wstring sAssociation) {
    classKey_ = kHKeyClassesRoot;
    std::vector<std::wstring> problems;
    // A file type without a ProgID never got a verb of ours.
    const std::wstring base = VerbBase(sAssociation, true);
    if (base.empty())
        return problems;
    for (const ExplorerVerb& verb : VerbsOf(sAssociation)) {
        const std::wstring key = base + L"\\shell\\" + verb.name;
        std::wstring command;
        const VerbOwner owner = OwnerOfVerb(key, verb.arguments, command);
        if (owner == VerbOwner::Other)
            continue;
        // A key with subkeys is not deleted, so the command goes before its verb.
        DeleteSection(key + L"\\command");
        DeleteSection(key);
        if (owner == VerbOwner::Ours && KeyExists())
            problems.push_back(sAssociation + L": the verb \"" + verb.name +
                               L"\" could not be removed: " + lastError_.description);
    }
    return problems;
}

bool RegistryAccessor::ShellAssociationInstalled(const std::wstring& sAssociation) {
    classKey_ = kHKeyClassesRoot;
    const std::wstring base = VerbBase(sAssociation, false);
    if (base.empty())
        return false;
    std::wstring command;
    for (const ExplorerVerb& verb : VerbsOf(sAssociation))
        if (OwnerOfVerb(base + L"\\shell\\" + verb.name, verb.arguments, command) ==
            VerbOwner::Ours)
            return true;
    return false;
}

} // namespace calvorn::registry
