#pragma once
// Finds the version resource in the bytes of a file, picking the same entry
// as the platform's version calls, without platform headers (fuzzable). Every
// number taken from the file is treated as hostile.

#include "inspection/version_block.h"

#include <cstddef>

namespace calvorn::inspection {

enum class VersionLookup {
    Found,     // offset and size name the resource's bytes inside the file
    None,      // the platform would find no version resource either
    Undecided, // not a plain PE file, or something out of bounds: ask the platform
};

struct VersionResource {
    VersionLookup lookup = VersionLookup::Undecided;
    std::size_t offset = 0;
    std::size_t size = 0;
};

// The user's languages, which decide among several version resources.
struct LocaleLanguages {
    std::uint16_t thread = 0x0409;
    std::uint16_t user = 0x0409;
    std::uint16_t system = 0x0409;
};

VersionResource LocateVersionResource(ByteSpan file, const LocaleLanguages& languages);

// The block that the platform's copy holds once clipped to its root: the
// resource's bytes, zero-filled up to the root's length when that is longer.
VersionBlockBytes BlockFromResource(ByteSpan resource);

} // namespace calvorn::inspection
