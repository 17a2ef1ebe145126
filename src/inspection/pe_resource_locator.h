#pragma once
// Finds the version resource in the bytes of a file, picking the same entry
// as the platform's version calls, without platform headers (fuzzable). Every
// number taken from the file is treated as hostile.

#include "inspection/file_reader.h"
#include "inspection/version_block.h"

#include <cstddef>
#include <optional>

namespace calvorn::inspection {

enum class VersionLookup {
    Found,     // offset and size name the resource's bytes inside the file
    None,      // the platform would find no version resource either
    Undecided, // not a plain PE file, or something out of bounds: ask the platform
};

struct VersionResource {
    VersionLookup lookup = VersionLookup::Undecided;
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
};

// The user's languages, which decide among several version resources.
struct LocaleLanguages {
    std::uint16_t thread = 0x0409;
    std::uint16_t user = 0x0409;
    std::uint16_t system = 0x0409;
};

VersionResource LocateVersionResource(FileReader& file, const LocaleLanguages& languages);

// The found resource as the platform's copy holds it once clipped to its
// root: the resource's bytes, zero-filled up to the root's length when that
// is longer. No value when the file cannot be read.
std::optional<VersionBlockBytes> ReadResourceBlock(FileReader& file,
                                                   const VersionResource& resource);

} // namespace calvorn::inspection
