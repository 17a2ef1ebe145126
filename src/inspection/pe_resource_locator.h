#pragma once
// Finds the version resource in the bytes of a file (a PE image, or a 16-bit
// NE file), picking the same entry as the platform's version calls, without
// platform headers (fuzzable). Every number taken from the file is treated
// as hostile.

#include "inspection/file_reader.h"
#include "inspection/version_block.h"

#include <cstddef>
#include <optional>

namespace calvorn::inspection {

enum class VersionLookup {
    Found,     // offset and size name the resource's bytes inside the file
    None,      // the platform would find no version resource either
    Undecided, // a compressed file or one for another system, or a read fell short
};

struct VersionResource {
    VersionLookup lookup = VersionLookup::Undecided;
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
    bool sixteenBitFile = false; // the platform sizes its copy differently
};

// No real version resource comes near this; a larger one is a damaged file.
inline constexpr std::uint32_t kMaxVersionResourceSize = 4 * 1024 * 1024;

// The user's languages, which decide among several version resources.
struct LocaleLanguages {
    std::uint16_t thread = 0x0409;
    std::uint16_t user = 0x0409;
    std::uint16_t system = 0x0409;
};

VersionResource LocateVersionResource(FileReader& file, const LocaleLanguages& languages);

// The 16-bit part of it (ne_resource_locator.cpp): where the NE header starts
// when the file is an NE file, and the RT_VERSION entry of its resource
// table. Found or None, never Undecided: a table that does not hold together
// within the file, an entry shorter than the fixed information or longer
// than the file is no version resource.
std::optional<std::uint64_t> NeHeaderOffset(FileReader& file);
VersionResource LocateNeVersionResource(FileReader& file, std::uint64_t neHeader);

// The found resource as the platform's copy holds it once clipped to its
// root: the resource's bytes, zero-filled up to the root's length when that
// is longer. No value when the file cannot be read.
std::optional<VersionBlockBytes> ReadResourceBlock(FileReader& file,
                                                   const VersionResource& resource);

} // namespace calvorn::inspection
