#include "inspection/file_reader.h"

#include <algorithm>
#include <cstring>

namespace calvorn::inspection {

namespace {
// A lookup touches the headers, the resource tree and the data: a handful
// of blocks even in large files.
constexpr std::size_t kMaxBlocks = 8;
} // namespace

FileReader::FileReader(std::uint64_t size, ReadAt read) : size_(size), read_(std::move(read)) {}

FileReader::FileReader(std::vector<std::uint8_t> head, std::uint64_t size, ReadAt read)
    : FileReader(size, std::move(read)) {
    if (head.size() == std::min<std::uint64_t>(kBlockSize, size_))
        blocks_.push_back({0, std::move(head)});
}

FileReader FileReader::OverBytes(ByteSpan bytes) {
    return FileReader(
        bytes.size(),
        [bytes](std::uint64_t offset, std::uint8_t* buffer, std::size_t length) -> std::size_t {
            if (offset >= bytes.size())
                return 0;
            const std::size_t n = std::min<std::size_t>(length, bytes.size() - offset);
            std::memcpy(buffer, bytes.data() + offset, n);
            return n;
        });
}

const FileReader::Block* FileReader::Fetch(std::uint64_t index) {
    for (const Block& block : blocks_)
        if (block.index == index)
            return &block;
    const std::uint64_t offset = index * kBlockSize;
    if (offset >= size_)
        return nullptr;
    const std::size_t length =
        static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, size_ - offset));
    std::vector<std::uint8_t> bytes(length);
    if (read_(offset, bytes.data(), length) != length) {
        failed_ = true;
        return nullptr;
    }
    if (blocks_.size() == kMaxBlocks)
        blocks_.erase(blocks_.begin() + 1); // the headers' block stays
    blocks_.push_back({index, std::move(bytes)});
    return &blocks_.back();
}

bool FileReader::Copy(std::uint64_t offset, std::uint8_t* out, std::size_t length) {
    if (!Contains(offset, length))
        return false;
    while (length > 0) {
        const Block* block = Fetch(offset / kBlockSize);
        if (!block)
            return false;
        const std::size_t within = static_cast<std::size_t>(offset % kBlockSize);
        const std::size_t n = std::min(length, block->bytes.size() - within);
        std::memcpy(out, block->bytes.data() + within, n);
        out += n;
        offset += n;
        length -= n;
    }
    return true;
}

std::optional<std::uint16_t> FileReader::Read16(std::uint64_t offset) {
    std::uint8_t b[2];
    if (!Copy(offset, b, 2))
        return std::nullopt;
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

std::optional<std::uint32_t> FileReader::Read32(std::uint64_t offset) {
    std::uint8_t b[4];
    if (!Copy(offset, b, 4))
        return std::nullopt;
    return static_cast<std::uint32_t>(b[0] | (b[1] << 8) | (b[2] << 16) |
                                      (static_cast<std::uint32_t>(b[3]) << 24));
}

} // namespace calvorn::inspection
