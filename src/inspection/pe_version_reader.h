#pragma once
// Reading a file's version block: our own bounded reader of the file's
// resource tree, with the platform's version calls (about a millisecond each
// under Wine) as the fallback for what it cannot decide.

#include "inspection/version_block.h"

#include <optional>
#include <string>

namespace calvorn::inspection {

using VersionBlock = VersionBlockBytes;

// The block as the version calls return it ("" when the file has none),
// clipped to the root's length.
VersionBlock ReadVersionBlock(const std::wstring& path);

// Only the platform's calls.
VersionBlock ReadVersionBlockByPlatform(const std::wstring& path);

// Only our reader: no value when it cannot decide (not a plain PE file, or
// anything in it out of bounds), an empty block when the file surely has no
// version resource.
std::optional<VersionBlock> ReadVersionBlockFromImage(const std::wstring& path);

} // namespace calvorn::inspection
