#include "inspection/pe_resource_locator.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace calvorn::inspection {

namespace {

constexpr std::uint16_t kVersionType = 16;
constexpr std::uint16_t kVersionName = 1;
constexpr std::uint16_t kEnglishUs = 0x0409;
constexpr std::size_t kDosHeaderSize = 64;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::uint32_t kHighBit = 0x80000000;

std::optional<std::uint32_t> Read32(ByteSpan bytes, std::size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < 4)
        return std::nullopt;
    return static_cast<std::uint32_t>(bytes[offset] | (bytes[offset + 1] << 8) |
                                      (bytes[offset + 2] << 16) |
                                      (static_cast<std::uint32_t>(bytes[offset + 3]) << 24));
}

std::optional<std::uint16_t> Read16(ByteSpan bytes, std::size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < 2)
        return std::nullopt;
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

bool HasAt(ByteSpan file, std::size_t offset, const char* magic, std::size_t length) {
    return offset <= file.size() && file.size() - offset >= length &&
           std::memcmp(file.data() + offset, magic, length) == 0;
}

struct Section {
    std::uint32_t virtualAddress;
    std::uint32_t sizeOfRawData;
    std::uint32_t pointerToRawData;
};

// The file offset of an address: the first section whose raw extent holds
// it, the sums wrapping at 32 bits as the platform's own do.
std::optional<std::uint32_t> FileOffsetOf(const std::vector<Section>& sections, std::uint32_t rva) {
    for (const Section& s : sections)
        if (s.virtualAddress <= rva &&
            static_cast<std::uint32_t>(s.virtualAddress + s.sizeOfRawData) > rva)
            return static_cast<std::uint32_t>(rva - s.virtualAddress + s.pointerToRawData);
    return std::nullopt;
}

enum class Step { Found, Missing, Unsure };
struct Lookup {
    Step step;
    std::size_t offset = 0; // from the file's start
};

// The resource directories, read the way the platform's loader reads them:
// offsets count from the root, entries are assumed sorted by number, and an
// entry counts only when it is (or is not) a directory as wanted.
class ResourceTree {
  public:
    ResourceTree(ByteSpan file, std::size_t root) : file_(file), root_(root) {}

    Lookup FindById(std::size_t dir, std::uint16_t id, bool wantDir) const {
        auto named = Read16(file_, dir + 12);
        auto numbered = Read16(file_, dir + 14);
        if (!named || !numbered)
            return {Step::Unsure};
        int min = *named;
        int max = min + *numbered - 1;
        while (min <= max) {
            const int pos = (min + max) / 2;
            const std::size_t entry = dir + 16 + static_cast<std::size_t>(pos) * 8;
            auto name = Read16(file_, entry);
            auto target = Read32(file_, entry + 4);
            if (!name || !target)
                return {Step::Unsure};
            if (*name == id)
                return Target(*target, wantDir);
            if (*name > id)
                max = pos - 1;
            else
                min = pos + 1;
        }
        return {Step::Missing};
    }

    Lookup First(std::size_t dir, bool wantDir) const {
        auto named = Read16(file_, dir + 12);
        auto numbered = Read16(file_, dir + 14);
        if (!named || !numbered)
            return {Step::Unsure};
        for (std::size_t pos = 0; pos < std::size_t{*named} + *numbered; ++pos) {
            auto target = Read32(file_, dir + 16 + pos * 8 + 4);
            if (!target)
                return {Step::Unsure};
            if (((*target & kHighBit) != 0) == wantDir)
                return Target(*target, wantDir);
        }
        return {Step::Missing};
    }

  private:
    Lookup Target(std::uint32_t target, bool wantDir) const {
        if (((target & kHighBit) != 0) != wantDir)
            return {Step::Missing};
        return {Step::Found, root_ + (target & ~kHighBit)};
    }

    ByteSpan file_;
    std::size_t root_;
};

VersionResource Undecided() {
    return {VersionLookup::Undecided, 0, 0};
}
VersionResource None() {
    return {VersionLookup::None, 0, 0};
}

std::vector<std::uint16_t> LanguageOrder(const LocaleLanguages& languages) {
    // Neutral, the thread's, the user's, the system's, US English; each
    // language also with a neutral sublanguage.
    const auto neutralSub = [](std::uint16_t lang) {
        return static_cast<std::uint16_t>(lang & 0x3FF);
    };
    std::vector<std::uint16_t> order;
    for (std::uint16_t lang :
         {std::uint16_t{0}, languages.thread, languages.user, neutralSub(languages.user),
          languages.system, neutralSub(languages.system), kEnglishUs})
        if (std::find(order.begin(), order.end(), lang) == order.end())
            order.push_back(lang);
    return order;
}

} // namespace

VersionResource LocateVersionResource(ByteSpan file, const LocaleLanguages& languages) {
    // Compressed files and Unix binaries may take other roads in the platform.
    if (HasAt(file, 0, "SZDD", 4) || HasAt(file, 0, "\177ELF", 4) ||
        HasAt(file, 0, "\xCE\xFA\xED\xFE", 4) || HasAt(file, 0, "\xFE\xED\xFA\xCE", 4))
        return Undecided();
    if (file.size() < kDosHeaderSize || !HasAt(file, 0, "MZ", 2))
        return None();
    const std::uint32_t lfanew = *Read32(file, 0x3C);
    if (lfanew >= kHighBit)
        return None();
    if (!HasAt(file, lfanew, "PE\0\0", 4)) {
        // 16-bit files, and the like, are the platform's to read.
        if (HasAt(file, lfanew, "NE", 2) || HasAt(file, lfanew, "PE", 2))
            return Undecided();
        return None();
    }

    const std::size_t fileHeader = std::size_t{lfanew} + 4;
    const std::size_t optional = fileHeader + 20;
    auto magic = Read16(file, optional);
    if (!magic || (*magic != 0x10B && *magic != 0x20B))
        return None();
    const bool pe64 = *magic == 0x20B;
    auto directoryCount = Read32(file, optional + (pe64 ? 108 : 92));
    const std::size_t directory = optional + (pe64 ? 112 : 96) + 2 * 8;
    auto resourceRva = Read32(file, directory);
    auto resourceSize = Read32(file, directory + 4);
    auto sizeOfHeaders = Read32(file, optional + 60);
    auto sectionCount = Read16(file, fileHeader + 2);
    auto optionalSize = Read16(file, fileHeader + 16);
    if (!directoryCount || !resourceRva || !resourceSize || !sizeOfHeaders || !sectionCount ||
        !optionalSize)
        return Undecided();
    if (*resourceRva == 0 && *resourceSize == 0)
        return None();
    if (*directoryCount <= 2 || *resourceRva == 0)
        return Undecided();

    const std::size_t table = optional + *optionalSize;
    if (table > file.size() || (file.size() - table) / kSectionHeaderSize < *sectionCount)
        return Undecided();
    std::vector<Section> sections(*sectionCount);
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const std::size_t at = table + i * kSectionHeaderSize;
        sections[i] = {*Read32(file, at + 12), *Read32(file, at + 16), *Read32(file, at + 20)};
    }
    std::optional<std::uint32_t> root = *resourceRva;
    if (*resourceRva >= *sizeOfHeaders)
        root = FileOffsetOf(sections, *resourceRva);
    if (!root)
        return None();

    const ResourceTree tree(file, *root);
    Lookup type = tree.FindById(*root, kVersionType, true);
    if (type.step != Step::Found)
        return type.step == Step::Missing ? None() : Undecided();
    Lookup name = tree.FindById(type.offset, kVersionName, true);
    if (name.step != Step::Found)
        return name.step == Step::Missing ? None() : Undecided();
    Lookup language{Step::Missing};
    for (std::uint16_t lang : LanguageOrder(languages)) {
        language = tree.FindById(name.offset, lang, false);
        if (language.step != Step::Missing)
            break;
    }
    if (language.step == Step::Missing)
        language = tree.First(name.offset, false);
    if (language.step != Step::Found)
        return Undecided();

    auto dataRva = Read32(file, language.offset);
    auto dataSize = Read32(file, language.offset + 4);
    if (!dataRva || !dataSize)
        return Undecided();
    // A resource outside every section or past the end of the file: the
    // platform would read whatever memory lies there; we read nothing.
    auto offset = FileOffsetOf(sections, *dataRva);
    if (!offset || *offset > file.size() || file.size() - *offset < *dataSize)
        return None();
    return {VersionLookup::Found, *offset, *dataSize};
}

VersionBlockBytes BlockFromResource(ByteSpan resource) {
    VersionBlockBytes block(resource.begin(), resource.end());
    if (block.size() >= 2) {
        const std::size_t rootLength = block[0] | (block[1] << 8);
        // The platform's buffer is twice the resource and four bytes more;
        // past the resource it holds zeros.
        block.resize(std::max(block.size(), std::min(rootLength, resource.size() * 2 + 4)));
    }
    block.resize(ClipToRoot(ByteSpan(block)).size());
    return block;
}

} // namespace calvorn::inspection
