#include "inspection/import_search.h"

#include "inspection/image_file.h"
#include "platform/disk_file.h"
#include "platform/file_system_redirection.h"
#include "platform/path_forms.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace calvorn::inspection {

namespace {

std::wstring FolderFrom(UINT(WINAPI* call)(LPWSTR, UINT)) {
    wchar_t buffer[MAX_PATH];
    const UINT length = call(buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH
               ? platform::FolderWithSeparator(std::wstring(buffer, length))
               : L"";
}

bool IsVirtualDll(const std::string& dll) {
    // API sets are names the loader resolves itself, never files.
    const auto starts = [&dll](const char* prefix) {
        return ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, dll.c_str(),
                                static_cast<int>(std::min(dll.size(), std::strlen(prefix))), prefix,
                                -1) == CSTR_EQUAL;
    };
    return starts("api-ms-win-") || starts("ext-ms-");
}

bool StartsWithFolder(const std::wstring& path, const std::wstring& folder) {
    return !folder.empty() && path.size() > folder.size() &&
           ::CompareStringOrdinal(path.c_str(), static_cast<int>(folder.size()), folder.c_str(),
                                  static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL;
}

} // namespace

LoaderImportSearch::LoaderImportSearch(const std::wstring& componentPath, bool component64) {
    const auto slash = componentPath.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        folders_.push_back(componentPath.substr(0, slash + 1));
    // With the redirection off (below), System32 is the 64-bit folder on a
    // 64-bit system; the 32-bit one is the WoW64 folder. Without WoW64 the
    // second call fails and System32 is the only one.
    std::wstring system = FolderFrom(::GetSystemDirectoryW);
    if (!component64) {
        const std::wstring wow64 = FolderFrom(::GetSystemWow64DirectoryW);
        if (!wow64.empty())
            system = wow64;
    }
    const std::wstring windows = FolderFrom(::GetWindowsDirectoryW);
    for (const std::wstring& folder : {system, windows})
        if (!folder.empty()) {
            folders_.push_back(folder);
            systemFolders_.push_back(folder);
        }
    const DWORD length = ::GetEnvironmentVariableW(L"PATH", nullptr, 0);
    std::wstring path(length, L'\0');
    path.resize(::GetEnvironmentVariableW(L"PATH", path.data(), length));
    for (std::size_t at = 0; at <= path.size();) {
        std::size_t end = path.find(L';', at);
        if (end == std::wstring::npos)
            end = path.size();
        std::wstring folder = path.substr(at, end - at);
        if (!folder.empty())
            folders_.push_back(platform::FolderWithSeparator(std::move(folder)));
        at = end + 1;
    }
}

std::optional<std::wstring> LoaderImportSearch::Find(const std::string& dll) {
    if (IsVirtualDll(dll))
        return L"";
    const std::wstring name(dll.begin(), dll.end());
    platform::FileSystemRedirectionOff seeTheRealFolders;
    for (const std::wstring& folder : folders_) {
        const std::wstring candidate = folder + name;
        const DWORD attributes = platform::Attributes(candidate);
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return candidate;
    }
    return std::nullopt;
}

bool LoaderImportSearch::IsSystemFile(const std::wstring& path) {
    if (path.empty())
        return true;
    for (const std::wstring& folder : systemFolders_)
        if (StartsWithFolder(path, folder))
            return true;
    return false;
}

ModuleFactsResult LoaderImportSearch::Read(const std::wstring& path) {
    return ReadModuleFactsOf(path);
}

} // namespace calvorn::inspection
