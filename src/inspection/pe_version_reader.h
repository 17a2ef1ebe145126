#pragma once
// Reading a file's version block: our own bounded reader of the file's
// resource tree (PE images and 16-bit NE files), with the platform's version
// calls as the fallback for what it cannot decide (a compressed file, a file
// changed under us), run in the helper process: they trust the file's
// numbers, and a damaged file can take their process down.

#include "inspection/file_reader.h"
#include "inspection/version_block.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace calvorn::inspection {

using VersionBlock = VersionBlockBytes;

// The block as the version calls return it ("" when the file has none),
// clipped to the root's length.
VersionBlock ReadVersionBlock(const std::wstring& path);
// The same; `readError` is the system error when the file could not be
// opened or read at all (then the block is empty), else 0.
VersionBlock ReadVersionBlock(const std::wstring& path, std::uint32_t& readError);

// Only the platform's calls, in this process: what the helper process runs
// (and the tests hold our reader against). Empty when the platform gives a
// size beyond any real block's.
VersionBlock ReadVersionBlockByPlatform(const std::wstring& path);

// The same in the helper process; empty when it is missing, fails, ends
// abnormally or takes too long.
VersionBlock ReadVersionBlockInHelper(const std::wstring& path);

// The helper's answer: the block's length (four bytes, least significant
// first), then the block. Empty for any other bytes.
std::string SerializeVersionBlock(const VersionBlock& block);
VersionBlock ParseVersionBlockAnswer(const std::string& answer);

// Only our reader: no value when it cannot decide (not a plain PE file, or
// anything in it out of bounds), an empty block when the file surely has no
// version resource. When the file cannot be opened or a read fails, no
// value and the system error in `readError` (when given).
std::optional<VersionBlock> ReadVersionBlockFromImage(const std::wstring& path,
                                                      std::uint32_t* readError = nullptr);

// Our reader over bytes already at hand (the file's reader), with the
// helper process for what it cannot decide, as ReadVersionBlock does.
// `readFailure` tells the system error of a read the system refused (0 when
// none was); then the block is empty and `readError` set.
VersionBlock ReadVersionBlock(const std::wstring& path, FileReader& reader,
                              const std::function<std::uint32_t()>& readFailure,
                              std::uint32_t& readError);

} // namespace calvorn::inspection
