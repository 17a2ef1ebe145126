#include "files/folder_listing.h"

#include "files/file_system.h"
#include "platform/path_forms.h"
#include "platform/unique_handle.h"

namespace calvorn::files {

namespace {

// Progress is a courtesy: whatever the object does wrong, the load goes on.
template <typename Step> void Quietly(IFileProgress* pb, Step step) {
    if (!pb)
        return;
    try {
        step(*pb);
    } catch (...) {
    }
}

bool IsDotEntry(const std::wstring& name) {
    return name == L"." || name == L"..";
}

// The folder's identity on its volume (volume serial, file index), so that a
// folder reached a second time under another name is known; nothing when
// the folder cannot be opened to ask.
std::optional<std::pair<std::uint32_t, std::uint64_t>> FolderIdentity(const std::wstring& folder) {
    platform::UniqueFile handle(
        ::CreateFileW(ExtendedPath(folder).c_str(), FILE_READ_ATTRIBUTES,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!handle || !::GetFileInformationByHandle(handle.get(), &info))
        return std::nullopt;
    return std::pair<std::uint32_t, std::uint64_t>{
        info.dwVolumeSerialNumber,
        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

class DepthGuard {
  public:
    explicit DepthGuard(std::int32_t& depth) : depth_(depth) { ++depth_; }
    ~DepthGuard() { --depth_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

  private:
    std::int32_t& depth_;
};

} // namespace

std::int32_t FolderListing::LoadFiles(const std::wstring& sFileSpec, bool bRecursive,
                                      IFileProgress* pb) {
    DepthGuard guard(depth_);
    if (depth_ == 1) {
        Clear();
        visited_.clear();
    }
    const std::wstring folder = GetPathPart(sFileSpec, ppPath);
    // Each real folder once: a link that leads back up the tree (one the
    // system does not mark as a link) would otherwise be walked for ever.
    if (bRecursive) {
        if (const auto identity = FolderIdentity(folder.empty() ? L"." : folder))
            if (!visited_.insert(*identity).second)
                return Count();
    }

    // Counting is a second pass over the folder; only a progress object
    // needs the count.
    Quietly(pb, [&](IFileProgress& p) {
        const std::int32_t matches = CountMatches(sFileSpec);
        p.Min(0);
        p.Value(0);
        p.Max(matches + 1);
    });

    if (bRecursive) {
        // Subfolders are found through "*.*", whatever the pattern.
        const std::wstring pattern = GetPathPart(sFileSpec, ppName + ppExtension);
        // A pattern without a folder is searched from the current folder.
        const std::wstring base = platform::FolderWithSeparator(folder);
        std::vector<std::wstring> subfolders;
        ForEachMatch(base + L"*.*", [&](const std::wstring& name, DWORD attributes) {
            // Junctions and folder links are not followed, as "dir /s" does
            // not: they lead to folders reported in their own place, or
            // back up the tree.
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !IsDotEntry(name))
                subfolders.push_back(name);
        });
        for (const std::wstring& name : subfolders)
            LoadFiles(platform::JoinPath(base + name, pattern), bRecursive, pb);
    }

    ForEachMatch(sFileSpec, [&](const std::wstring& name, DWORD attributes) {
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            auto file = std::make_shared<FileFacts>();
            file->sFileName(folder + name);
            Append(std::move(file), std::nullopt);
        }
        Quietly(pb, [](IFileProgress& p) {
            p.Value(p.Value() + 1);
            p.Refresh();
        });
    });
    return Count();
}

void FolderListing::Clear() {
    // New lists: objects that a caller still holds stay valid.
    files_ = {};
    keys_ = {};
}

FolderListing::FilePtr FolderListing::Add(const std::wstring& sFileName, const std::wstring& sKey) {
    auto file = std::make_shared<FileFacts>();
    file->sFileName(sFileName);
    const std::wstring& key = sKey.empty() ? sFileName : sKey;
    if (!IndexOfKey(key))
        Append(file, key);
    return file;
}

FolderListing::FilePtr FolderListing::Item(std::int32_t position) const {
    auto index = IndexOfPosition(position);
    return index ? files_[*index] : nullptr;
}

FolderListing::FilePtr FolderListing::Item(const std::wstring& key) const {
    auto index = IndexOfKey(key);
    return index ? files_[*index] : nullptr;
}

void FolderListing::Remove(std::int32_t position) {
    if (auto index = IndexOfPosition(position))
        RemoveAt(*index);
}

void FolderListing::Remove(const std::wstring& key) {
    if (auto index = IndexOfKey(key))
        RemoveAt(*index);
}

void FolderListing::Append(FilePtr file, std::optional<std::wstring> key) {
    files_.push_back(std::move(file));
    keys_.push_back(std::move(key));
}

std::optional<size_t> FolderListing::IndexOfKey(const std::wstring& key) const {
    for (size_t i = 0; i < keys_.size(); ++i) {
        if (keys_[i] &&
            ::CompareStringOrdinal(keys_[i]->c_str(), static_cast<int>(keys_[i]->size()),
                                   key.c_str(), static_cast<int>(key.size()), TRUE) == CSTR_EQUAL)
            return i;
    }
    return std::nullopt;
}

std::optional<size_t> FolderListing::IndexOfPosition(std::int32_t position) const {
    if (position < 1 || position > Count())
        return std::nullopt;
    return static_cast<size_t>(position - 1);
}

void FolderListing::RemoveAt(size_t index) {
    files_.erase(files_.begin() + static_cast<std::ptrdiff_t>(index));
    keys_.erase(keys_.begin() + static_cast<std::ptrdiff_t>(index));
}

} // namespace calvorn::files
