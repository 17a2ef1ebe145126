#include "files/folder_listing.h"

#include "files/path_logic.h"
#include "platform/disk_file.h"
#include "platform/file_system_redirection.h"
#include "platform/path_forms.h"
#include "platform/unique_handle.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <unordered_set>
#include <utility>

namespace calvorn::files {

namespace {

template <typename OnEntry> void ForEachMatch(const std::wstring& pattern, OnEntry onEntry) {
    WIN32_FIND_DATAW data{};
    platform::UniqueFind search = platform::FindFiles(pattern, data);
    if (!search)
        return;
    do {
        // The name field is a fixed array; make sure the text ends in it.
        data.cFileName[MAX_PATH - 1] = L'\0';
        onEntry(std::wstring(data.cFileName), data.dwFileAttributes);
    } while (::FindNextFileW(search.get(), &data));
}

// What one listing of a folder gives: its files, and its subfolders with the
// identity each has on the volume (0 when the file system gives none).
struct FolderEntries {
    std::vector<std::wstring> files;
    std::vector<std::pair<std::wstring, std::uint64_t>> subfolders;
};

// The folder opened once and listed once through that handle: the listing
// carries each entry's file ID, so that a subfolder's identity needs no open
// of its own. Nothing when the folder cannot be opened.
std::optional<FolderEntries> ListFolder(const std::wstring& folder, std::uint64_t* ownId) {
    platform::UniqueFile handle =
        platform::OpenRead(folder, FILE_LIST_DIRECTORY, FILE_FLAG_BACKUP_SEMANTICS);
    if (!handle)
        return std::nullopt;
    if (ownId) {
        BY_HANDLE_FILE_INFORMATION info{};
        *ownId = ::GetFileInformationByHandle(handle.get(), &info)
                     ? (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow
                     : 0;
    }
    FolderEntries entries;
    // Records are aligned on 8 bytes within the buffer.
    alignas(8) static thread_local std::uint8_t buffer[64 * 1024];
    while (::GetFileInformationByHandleEx(handle.get(), FileIdBothDirectoryInfo, buffer,
                                          sizeof buffer)) {
        for (std::size_t at = 0;;) {
            // The record's fixed part is copied out: nothing here trusts the
            // buffer's alignment beyond what the system promises.
            FILE_ID_BOTH_DIR_INFO record;
            if (at + offsetof(FILE_ID_BOTH_DIR_INFO, FileName) > sizeof buffer)
                break;
            std::memcpy(&record, buffer + at, offsetof(FILE_ID_BOTH_DIR_INFO, FileName));
            const std::size_t nameAt = at + offsetof(FILE_ID_BOTH_DIR_INFO, FileName);
            if (nameAt + record.FileNameLength > sizeof buffer)
                break;
            std::wstring name(record.FileNameLength / sizeof(wchar_t), L'\0');
            std::memcpy(name.data(), buffer + nameAt, name.size() * sizeof(wchar_t));
            if (!(record.FileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                entries.files.push_back(std::move(name));
            // Junctions and folder links are not followed, as "dir /s" does
            // not: they lead to folders reported in their own place, or back
            // up the tree.
            else if (!(record.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && name != L"." &&
                     name != L"..")
                entries.subfolders.emplace_back(std::move(name),
                                                static_cast<std::uint64_t>(record.FileId.QuadPart));
            if (record.NextEntryOffset == 0)
                break;
            at += record.NextEntryOffset;
        }
    }
    return entries;
}

bool MatchesEverything(const std::wstring& name) {
    return name == L"*" || name == L"*.*";
}

class Listing {
  public:
    Listing(const std::wstring& pattern, bool subfolders)
        : folder_(GetPathPart(pattern, ppPath)), name_(GetPathPart(pattern, ppName + ppExtension)),
          subfolders_(subfolders) {}

    // Depth-first with a stack of its own, so that no depth of folders can
    // exhaust the thread's stack: a folder's files come after those of all
    // its subfolders.
    std::vector<std::wstring> Walk() {
        std::uint64_t rootId = 0;
        if (!Enter(folder_, subfolders_ ? &rootId : nullptr))
            return std::move(files_);
        if (rootId != 0)
            visited_.insert(rootId);
        while (!stack_.empty()) {
            Frame& top = stack_.back();
            if (top.next < top.entries.subfolders.size()) {
                const auto& [name, id] = top.entries.subfolders[top.next++];
                // Each real folder once: a link that leads back up the tree
                // (one the system does not mark as a link) would be walked
                // for ever.
                if (id != 0 && !visited_.insert(id).second)
                    continue;
                Enter(top.base + name + L"\\", nullptr);
                continue;
            }
            for (const std::wstring& file : top.entries.files)
                files_.push_back(top.base + file);
            stack_.pop_back();
        }
        return std::move(files_);
    }

  private:
    struct Frame {
        std::wstring base; // the folder with its separator ("" for the current one)
        FolderEntries entries;
        std::size_t next = 0;
    };

    bool Enter(const std::wstring& folder, std::uint64_t* ownId) {
        std::optional<FolderEntries> entries = ListFolder(folder.empty() ? L"." : folder, ownId);
        if (!entries)
            return false;
        if (!subfolders_)
            entries->subfolders.clear();
        const std::wstring base = folder.empty() ? folder : platform::FolderWithSeparator(folder);
        if (!MatchesEverything(name_)) {
            // Another pattern is matched as the system matches it (short
            // names included): the one folder where a second listing is made.
            entries->files.clear();
            ForEachMatch(base + name_, [&](const std::wstring& name, DWORD attributes) {
                if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
                    entries->files.push_back(name);
            });
        }
        stack_.push_back({base, std::move(*entries), 0});
        return true;
    }

    std::wstring folder_;
    std::wstring name_;
    bool subfolders_;
    std::unordered_set<std::uint64_t> visited_;
    std::vector<Frame> stack_;
    std::vector<std::wstring> files_;
};

} // namespace

std::vector<std::wstring> ListFiles(const std::wstring& pattern, bool subfolders) {
    // The folder the path names, also for a 32-bit program naming the
    // system folder: the records that follow read the same files.
    platform::FileSystemRedirectionOff seeTheNamedFolder;
    return Listing(pattern, subfolders).Walk();
}

} // namespace calvorn::files
