#pragma once
// The files a folder report walks: a folder search, and the searches of its
// subfolders when asked, in one list of full names.

#include <string>
#include <vector>

namespace calvorn::files {

// The files (not folders) that `pattern` ("C:\dir\*.*") matches, in the order
// the system lists them. With `subfolders`, every subfolder is searched with
// the same pattern first, the deepest files coming before their parents';
// folder links and junctions are not followed, and each real folder is
// searched once. A pattern without a folder is searched from the current one.
std::vector<std::wstring> ListFiles(const std::wstring& pattern, bool subfolders);

} // namespace calvorn::files
