#pragma once
// What the report tests see of a folder.

#include "files/folder_listing.h"

#include <string>
#include <vector>

namespace calvorn::test {

// The folder's files in the order the report lists them.
inline std::vector<std::wstring> Listed(const std::wstring& folder) {
    files::FolderListing list;
    list.LoadFiles(folder + L"*.*", false);
    std::vector<std::wstring> names;
    for (const auto& file : list)
        names.push_back(file->sFileName());
    return names;
}

} // namespace calvorn::test
