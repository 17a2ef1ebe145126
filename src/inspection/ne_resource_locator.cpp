#include "inspection/pe_resource_locator.h"

#include <vector>

namespace calvorn::inspection {

namespace {

constexpr std::uint16_t kVersionType = 0x8010; // RT_VERSION, numbered
constexpr std::uint16_t kVersionName = 0x8001; // VS_VERSION_INFO, numbered
constexpr std::size_t kNeHeaderSize = 64;
constexpr std::size_t kTypeInfoSize = 8;
constexpr std::size_t kNameInfoSize = 12;
// The platform sizes its copy from the length less the fixed information:
// a shorter entry would make that size wrap around to about 4 GB.
constexpr std::uint64_t kFixedInfoSize = 52;

std::uint16_t WordAt(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

VersionResource None() {
    return {VersionLookup::None, 0, 0, true};
}

} // namespace

std::optional<std::uint64_t> NeHeaderOffset(FileReader& file) {
    std::uint8_t magic[2];
    if (file.size() < 64 || !file.Copy(0, magic, 2) || magic[0] != 'M' || magic[1] != 'Z')
        return std::nullopt;
    const auto lfanew = file.Read32(0x3C);
    if (!lfanew || *lfanew >= 0x80000000u || !file.Copy(*lfanew, magic, 2) || magic[0] != 'N' ||
        magic[1] != 'E')
        return std::nullopt;
    return *lfanew;
}

VersionResource LocateNeVersionResource(FileReader& file, std::uint64_t neHeader) {
    if (!file.Contains(neHeader, kNeHeaderSize))
        return None();
    // The resource table runs from its own offset to the resident-name
    // table's, both counted from the NE header.
    const auto tableOffset = file.Read16(neHeader + 0x24);
    const auto tableEnd = file.Read16(neHeader + 0x26);
    if (!tableOffset || !tableEnd || *tableEnd <= *tableOffset)
        return None();
    std::vector<std::uint8_t> table(*tableEnd - *tableOffset);
    if (!file.Copy(neHeader + *tableOffset, table.data(), table.size()) || table.size() < 2)
        return None();

    // The alignment shift, then type entries (type, count, a DWORD) each
    // followed by its `count` name entries (offset, length, flags, id, two
    // words), up to a type of 0.
    const unsigned shift = WordAt(table, 0);
    std::size_t at = 2;
    while (at + 2 <= table.size() && WordAt(table, at) != 0) {
        if (at + kTypeInfoSize > table.size())
            return None();
        const std::size_t count = WordAt(table, at + 2);
        const std::size_t names = at + kTypeInfoSize;
        if (WordAt(table, at) != kVersionType) {
            at = names + count * kNameInfoSize;
            continue;
        }
        // Only the first RT_VERSION type is looked in, as the platform does.
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t name = names + i * kNameInfoSize;
            if (name + kNameInfoSize > table.size())
                return None();
            if (WordAt(table, name + 6) != kVersionName)
                continue;
            if (shift >= 32)
                return None();
            const std::uint64_t offset = std::uint64_t{WordAt(table, name)} << shift;
            const std::uint64_t size = std::uint64_t{WordAt(table, name + 2)} << shift;
            if (size < kFixedInfoSize || size > kMaxVersionResourceSize ||
                !file.Contains(offset, size))
                return None();
            return {VersionLookup::Found, offset, static_cast<std::uint32_t>(size), true};
        }
        return None();
    }
    return None();
}

} // namespace calvorn::inspection
