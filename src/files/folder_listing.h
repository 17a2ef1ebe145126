#pragma once
// An ordered collection of file objects that fills itself from a folder
// search. Positions are 1-based. Entries added by Add carry a key that is
// unique regardless of letter case; entries from LoadFiles carry none.

#include "files/file_facts.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <string>
#include <vector>

namespace calvorn::files {

// What LoadFiles drives while it searches: a progress bar, or anything like
// one. A member that throws is passed over.
class IFileProgress {
  public:
    virtual ~IFileProgress() = default;
    virtual void Min(std::int32_t value) = 0;
    virtual void Max(std::int32_t value) = 0;
    virtual std::int32_t Value() const = 0;
    virtual void Value(std::int32_t value) = 0;
    virtual void Refresh() = 0;
};

class FolderListing {
  public:
    using FilePtr = std::shared_ptr<FileFacts>;
    using const_iterator = std::vector<FilePtr>::const_iterator;

    // Fills the collection from the search path (a folder, "\" and a pattern
    // such as "*.*"), in the order the platform lists the entries. Recursive:
    // every subfolder is searched with the same pattern, and its files come
    // before those of its parent. Junctions and folder links are not
    // followed, and a folder reached twice is walked once. Returns the number
    // of entries; 0 when the path matches nothing.
    std::int32_t LoadFiles(const std::wstring& sFileSpec, bool bRecursive,
                           IFileProgress* pb = nullptr);
    void Clear();
    // Stores a new file object under the key, or under the file name when the
    // key is empty. A key already present (in any letter case) keeps its
    // entry; the new object is returned all the same, but not stored.
    FilePtr Add(const std::wstring& sFileName, const std::wstring& sKey = {});
    // The entry at a position or under a key; no object when there is none.
    FilePtr Item(std::int32_t position) const;
    FilePtr Item(const std::wstring& key) const;
    std::int32_t Count() const { return static_cast<std::int32_t>(files_.size()); }
    // Removes the entry at a position or under a key; nothing when none.
    void Remove(std::int32_t position);
    void Remove(const std::wstring& key);

    const_iterator begin() const { return files_.begin(); }
    const_iterator end() const { return files_.end(); }

  private:
    void Append(FilePtr file, std::optional<std::wstring> key);
    std::optional<size_t> IndexOfKey(const std::wstring& key) const;
    std::optional<size_t> IndexOfPosition(std::int32_t position) const;
    void RemoveAt(size_t index);

    // Parallel lists: the objects in order and the key of each (if any).
    std::vector<FilePtr> files_;
    std::vector<std::optional<std::wstring>> keys_;
    std::int32_t depth_ = 0;
    // The folders a recursive load has walked, by volume serial and file index.
    std::set<std::pair<std::uint32_t, std::uint64_t>> visited_;
};

} // namespace calvorn::files
