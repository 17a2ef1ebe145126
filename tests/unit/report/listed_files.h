#pragma once
// What the report tests see of a folder.

#include "files/folder_listing.h"
#include "files/path_logic.h"

#include <string>
#include <vector>

namespace calvorn::test {

// The folder's files in the order the report lists them.
inline std::vector<std::wstring> Listed(const std::wstring& folder) {
    return files::ListFiles(folder + L"*.*", false);
}

} // namespace calvorn::test
