#pragma once
// The program's one set of path rules: which paths name their place by
// themselves, how a path is taken relative to the program's folder, how a
// folder and a name are joined, and the extended ("\\?\") form that lets the
// wide file calls take a path of any length. Everything but FullPath and
// ExtendedPath is text only, so it builds and is tested natively as well.

#include <string>

namespace calvorn::platform {

// A path that names its place by itself: a drive and a separator ("C:\x",
// "C:/x") or a UNC name ("\\server\share", "//server/share"). The platform
// takes "/" for "\" in either.
bool IsAbsolutePath(const std::wstring& path);
// The path with every "/" turned into "\", the separator the rest of the
// program splits at; "/" cannot be part of a name, so nothing else changes.
std::wstring BackslashSeparators(std::wstring path);

// The rule for a path given to the program: one without ":\" is taken as
// relative to the program's folder (which ends in "\"). Absolute UNC paths
// and empty paths are left alone; "/" counts as "\" and comes back as "\".
std::wstring ProgramRelativePath(const std::wstring& path, const std::wstring& programFolder);

// The folder with a separator at its end, ready to take a name; an empty
// folder stays empty, so that a name joined to it stays relative.
std::wstring FolderWithSeparator(std::wstring folder);
// The name inside the folder, with exactly the one separator between them.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

// The extended form of a full path ("C:\x" as "\\?\C:\x", "\\s\h\x" as
// "\\?\UNC\s\h\x"). A path already extended or naming a device ("\\.\"),
// and a relative one, come back unchanged.
std::wstring ExtendedForm(const std::wstring& fullPath);
// Undoes ExtendedForm on a path the platform handed back.
std::wstring PlainForm(const std::wstring& path);

// The full path of a name, by the platform's rules (the current folder for a
// relative one); empty when the platform cannot make one.
std::wstring FullPath(const std::wstring& path);
// The form of a path that the wide file calls accept at any length: the path
// itself while it is short enough for the ordinary limit, else the extended
// form of its full path.
std::wstring ExtendedPath(const std::wstring& path);

} // namespace calvorn::platform
