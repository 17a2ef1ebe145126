// The Explorer context-menu verbs, written and removed through the accessor's
// own operations so that every failure lands in its error record.

#include "registry/clsRegistry.h"

#include <windows.h>

#include <cwctype>

namespace calvorn::registry {

namespace {

bool IsFolder(const std::wstring& association) {
    static const std::wstring folder = L"FOLDER";
    if (association.size() != folder.size())
        return false;
    for (std::size_t i = 0; i < folder.size(); ++i)
        if (std::towupper(association[i]) != folder[i])
            return false;
    return true;
}

// The program path in double quotes, so that the shell cannot start a
// different program from the part of a path before a space.
std::wstring Quoted(const std::wstring& path) {
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"')
        return path;
    return L"\"" + path + L"\"";
}

const wchar_t* const kFileTypeVerbs[] = {L"\\shell\\Register", L"\\shell\\UnRegister",
                                         L"\\shell\\Calvorn"};

} // namespace

// The ProgID is the file type's default value. An empty one would put the
// verbs straight under the root, so it is recorded as a failure instead.
std::wstring clsRegistry::ProgIdOf(const std::wstring& fileType) {
    sectionKey_ = fileType;
    valueKey_.clear();
    std::optional<RegValue> value = ReadValue();
    const std::wstring* progId = value ? std::get_if<std::wstring>(&*value) : nullptr;
    if (progId && !progId->empty())
        return *progId;
    Record(kErrRegistry, L"Failed to read the ProgID of registry Key: '" + RootAndSection() + L"'");
    return {};
}

// Commands are REG_SZ whatever the object read last and whatever the path
// holds: a "%" pair in a folder name must not turn into an expansion.
void clsRegistry::WriteCommand(const std::wstring& key, const std::wstring& command) {
    sectionKey_ = key;
    valueKey_.clear();
    valueType_ = REG_SZ;
    WriteValue(command, REG_SZ, false);
}

void clsRegistry::DeleteSection(const std::wstring& key) {
    sectionKey_ = key;
    DeleteKey();
}

void clsRegistry::CreateShellAssociation(std::wstring sExePath, std::wstring sAssociation) {
    classKey_ = kHKeyClassesRoot;
    const std::wstring program = Quoted(sExePath);
    if (IsFolder(sAssociation)) {
        WriteCommand(sAssociation + L"\\shell\\ActiveX Report\\command", program + L" -f \"%1\"");
        return;
    }
    const std::wstring progId = ProgIdOf(sAssociation);
    if (progId.empty())
        return;
    const wchar_t* const switches[] = {L" -r \"%1\"", L" -u \"%1\"", L" \"%1\""};
    for (std::size_t i = 0; i < std::size(kFileTypeVerbs); ++i)
        WriteCommand(progId + kFileTypeVerbs[i] + L"\\command", program + switches[i]);
}

void clsRegistry::RemoveShellAssociation(std::wstring /*sExePath*/, std::wstring sAssociation) {
    classKey_ = kHKeyClassesRoot;
    if (IsFolder(sAssociation)) {
        DeleteSection(sAssociation + L"\\shell\\ActiveX Report\\command");
        DeleteSection(sAssociation + L"\\shell\\ActiveX Report");
        return;
    }
    const std::wstring progId = ProgIdOf(sAssociation);
    if (progId.empty())
        return;
    // A key with subkeys is not deleted, so each command goes before its verb.
    for (const wchar_t* verb : kFileTypeVerbs) {
        DeleteSection(progId + verb + L"\\command");
        DeleteSection(progId + verb);
    }
}

} // namespace calvorn::registry
