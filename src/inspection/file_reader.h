#pragma once
// Random access to the bytes of a file through a read callback, in cached
// blocks: a version lookup touches a few scattered places of a file, and each
// read call is dear while a copy is cheap. No platform headers.

#include "inspection/version_block.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace calvorn::inspection {

class FileReader {
  public:
    // Fills the buffer from the offset; returns the bytes it got.
    using ReadAt =
        std::function<std::size_t(std::uint64_t offset, std::uint8_t* buffer, std::size_t length)>;

    FileReader(std::uint64_t size, ReadAt read);
    // With the file's first bytes already read (up to one block; fewer means
    // that is the whole file, so its size needs no separate question).
    FileReader(std::vector<std::uint8_t> head, std::uint64_t size, ReadAt read);
    // Most components fit in one block, so one read brings the whole file;
    // larger blocks cost more than the extra reads they save (under Wine).
    static constexpr std::size_t kBlockSize = 16 * 1024;
    static FileReader OverBytes(ByteSpan bytes);

    std::uint64_t size() const { return size_; }
    // False when the range is not wholly inside the file or a read falls short.
    bool Copy(std::uint64_t offset, std::uint8_t* out, std::size_t length);
    std::optional<std::uint16_t> Read16(std::uint64_t offset);
    std::optional<std::uint32_t> Read32(std::uint64_t offset);
    // Whether some read came back short.
    bool Failed() const { return failed_; }
    bool Contains(std::uint64_t offset, std::uint64_t length) const {
        return offset <= size_ && size_ - offset >= length;
    }

  private:
    struct Block {
        std::uint64_t index;
        std::vector<std::uint8_t> bytes;
    };
    const Block* Fetch(std::uint64_t index);

    std::uint64_t size_;
    ReadAt read_;
    std::vector<Block> blocks_;
    bool failed_ = false;
};

} // namespace calvorn::inspection
