#pragma once
// The program's Explorer verbs: the one list that the "-s" switch, the
// Options tab and the package's removal all go by, and the commands that
// tell our verbs from another program's of the same name. No platform
// headers here.

#include <span>
#include <string>
#include <string_view>

namespace calvorn::registry {

struct ExplorerVerb {
    const wchar_t* name;      // the key under "shell", as registries hold it
    const wchar_t* arguments; // after the program path
};

struct VerbAssociation {
    const wchar_t* name; // ".dll", ".exe", ".ocx" or "Folder"
    // A file type's verbs live under its ProgID, and "-s" writes only these;
    // "Folder" holds its verbs itself.
    bool fileType;
    std::span<const ExplorerVerb> verbs;
};

// ".dll", ".exe" and ".ocx" ("Register", "UnRegister", "Calvorn"), then
// "Folder" ("ActiveX Report"): the order they are written and removed in.
std::span<const VerbAssociation> VerbAssociations();
// "Folder" in any letter case.
bool IsFolderAssociation(std::wstring_view association);
// The verbs of "Folder" for it, the file-type verbs for any other name.
std::span<const ExplorerVerb> VerbsOf(std::wstring_view association);

// Whether a verb's command starts this program (calvorn.exe or
// calvorn64.exe, from any folder, its path quoted or not) with exactly
// `arguments` (compared without regard to letter case): a verb written by
// any copy or any earlier version of the program is ours to replace or
// remove, any other is not.
bool IsOurCommand(std::wstring_view command, std::wstring_view arguments);

// The command of a verb that starts `program` with `arguments`: the path in
// double quotes, so that the shell cannot start a program named by the part
// before a blank, and every "%" of it doubled, so that the shell does not
// take a "%1" in a folder name for the clicked file.
std::wstring VerbCommand(std::wstring_view program, std::wstring_view arguments);

// Whether the command starts `program` (a full path, compared without regard
// to letter case) as VerbCommand writes it: quoted, every "%" doubled.
bool StartsProgram(std::wstring_view command, std::wstring_view program);

} // namespace calvorn::registry
