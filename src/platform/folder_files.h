#pragma once
// The files of one folder (not its subfolders), in the order the system lists them.

#include <windows.h>

#include <string>
#include <vector>

namespace calvorn::platform {

inline std::vector<std::wstring> FolderFiles(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\')
        folder += L'\\';
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return files;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files.push_back(folder + data.cFileName);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return files;
}

} // namespace calvorn::platform
