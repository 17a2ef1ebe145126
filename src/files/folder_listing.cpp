#include "files/folder_listing.h"

#include "files/path_logic.h"
#include "platform/path_forms.h"
#include "platform/unique_handle.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <set>
#include <utility>

namespace calvorn::files {

namespace {

using FolderId = std::pair<std::uint32_t, std::uint64_t>;

template <typename OnEntry> void ForEachMatch(const std::wstring& pattern, OnEntry onEntry) {
    WIN32_FIND_DATAW data{};
    platform::UniqueFind search(::FindFirstFileW(platform::ExtendedPath(pattern).c_str(), &data));
    if (!search)
        return;
    do {
        // The name field is a fixed array; make sure the text ends in it.
        data.cFileName[MAX_PATH - 1] = L'\0';
        onEntry(std::wstring(data.cFileName), data.dwFileAttributes);
    } while (::FindNextFileW(search.get(), &data));
}

// The folder's identity on its volume (volume serial, file index), so that a
// folder reached a second time under another name is known; nothing when
// the folder cannot be opened to ask.
std::optional<FolderId> FolderIdentity(const std::wstring& folder) {
    platform::UniqueFile handle(
        ::CreateFileW(platform::ExtendedPath(folder).c_str(), FILE_READ_ATTRIBUTES,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!handle || !::GetFileInformationByHandle(handle.get(), &info))
        return std::nullopt;
    return FolderId{info.dwVolumeSerialNumber,
                    (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

class Listing {
  public:
    explicit Listing(bool subfolders) : subfolders_(subfolders) {}

    void Search(const std::wstring& pattern) {
        const std::wstring folder = GetPathPart(pattern, ppPath);
        if (subfolders_) {
            // Each real folder once: a link that leads back up the tree (one
            // the system does not mark as a link) would be walked for ever.
            if (const auto identity = FolderIdentity(folder.empty() ? L"." : folder))
                if (!visited_.insert(*identity).second)
                    return;
            SearchSubfolders(folder, GetPathPart(pattern, ppName + ppExtension));
        }
        ForEachMatch(pattern, [&](const std::wstring& name, DWORD attributes) {
            if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
                files_.push_back(folder + name);
        });
    }

    std::vector<std::wstring> Take() { return std::move(files_); }

  private:
    void SearchSubfolders(const std::wstring& folder, const std::wstring& pattern) {
        // Subfolders are found through "*.*", whatever the pattern; a pattern
        // without a folder is searched from the current folder.
        const std::wstring base = platform::FolderWithSeparator(folder);
        std::vector<std::wstring> found;
        ForEachMatch(base + L"*.*", [&](const std::wstring& name, DWORD attributes) {
            // Junctions and folder links are not followed, as "dir /s" does
            // not: they lead to folders reported in their own place, or back
            // up the tree.
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && name != L"." && name != L"..")
                found.push_back(name);
        });
        for (const std::wstring& name : found)
            Search(platform::JoinPath(base + name, pattern));
    }

    bool subfolders_;
    std::set<FolderId> visited_;
    std::vector<std::wstring> files_;
};

} // namespace

std::vector<std::wstring> ListFiles(const std::wstring& pattern, bool subfolders) {
    Listing listing(subfolders);
    listing.Search(pattern);
    return listing.Take();
}

} // namespace calvorn::files
