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

bool HasAt(FileReader& file, std::uint64_t offset, const char* magic, std::size_t length) {
    std::uint8_t bytes[8];
    return length <= sizeof bytes && file.Copy(offset, bytes, length) &&
           std::memcmp(bytes, magic, length) == 0;
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
    std::uint64_t offset = 0; // from the file's start
};

// The resource directories, read the way the platform's loader reads them:
// offsets count from the root, entries are assumed sorted by number, and an
// entry counts only when it is (or is not) a directory as wanted.
class ResourceTree {
  public:
    ResourceTree(FileReader& file, std::uint64_t root) : file_(file), root_(root) {}

    Lookup FindById(std::uint64_t dir, std::uint16_t id, bool wantDir) {
        auto named = file_.Read16(dir + 12);
        auto numbered = file_.Read16(dir + 14);
        if (!named || !numbered)
            return {Step::Unsure};
        int min = *named;
        int max = min + *numbered - 1;
        while (min <= max) {
            const int pos = (min + max) / 2;
            const std::uint64_t entry = dir + 16 + static_cast<std::uint64_t>(pos) * 8;
            auto name = file_.Read16(entry);
            auto target = file_.Read32(entry + 4);
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

    Lookup First(std::uint64_t dir, bool wantDir) {
        auto named = file_.Read16(dir + 12);
        auto numbered = file_.Read16(dir + 14);
        if (!named || !numbered)
            return {Step::Unsure};
        for (std::uint64_t pos = 0; pos < std::uint64_t{*named} + *numbered; ++pos) {
            auto target = file_.Read32(dir + 16 + pos * 8 + 4);
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

    FileReader& file_;
    std::uint64_t root_;
};

// Where the "PE\0\0" signature should be, as the DOS header says.
std::optional<std::uint32_t> PeHeaderOffset(FileReader& file) {
    auto lfanew = file.Read32(0x3C);
    if (!lfanew || *lfanew >= kHighBit)
        return std::nullopt;
    return lfanew;
}

VersionResource Undecided() {
    return {VersionLookup::Undecided, 0, 0};
}
VersionResource None() {
    return {VersionLookup::None, 0, 0};
}
// A PE image whose headers or resource tree do not hold together has no
// version resource we can show. It is not handed to the platform: Wine's
// version calls crash on some such trees (a resource directory entry that
// points outside the file was seen to fault inside them).
VersionResource Broken() {
    return None();
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

VersionResource Locate(FileReader& file, const LocaleLanguages& languages) {
    // Compressed files and Unix binaries may take other roads in the platform.
    if (HasAt(file, 0, "SZDD", 4) || HasAt(file, 0, "\177ELF", 4) ||
        HasAt(file, 0, "\xCE\xFA\xED\xFE", 4) || HasAt(file, 0, "\xFE\xED\xFA\xCE", 4))
        return Undecided();
    if (file.size() < kDosHeaderSize || !HasAt(file, 0, "MZ", 2))
        return None();
    const std::uint32_t lfanew = PeHeaderOffset(file).value_or(kHighBit);
    if (lfanew >= kHighBit)
        return None();
    if (!HasAt(file, lfanew, "PE\0\0", 4)) {
        // 16-bit files, and the like, are the platform's to read.
        if (HasAt(file, lfanew, "NE", 2) || HasAt(file, lfanew, "PE", 2))
            return Undecided();
        return None();
    }

    const std::uint64_t fileHeader = std::uint64_t{lfanew} + 4;
    const std::uint64_t optional = fileHeader + 20;
    auto magic = file.Read16(optional);
    if (!magic || (*magic != 0x10B && *magic != 0x20B))
        return None();
    const bool pe64 = *magic == 0x20B;
    auto directoryCount = file.Read32(optional + (pe64 ? 108 : 92));
    const std::uint64_t directory = optional + (pe64 ? 112 : 96) + 2 * 8;
    auto resourceRva = file.Read32(directory);
    auto resourceSize = file.Read32(directory + 4);
    auto sizeOfHeaders = file.Read32(optional + 60);
    auto sectionCount = file.Read16(fileHeader + 2);
    auto optionalSize = file.Read16(fileHeader + 16);
    if (!directoryCount || !resourceRva || !resourceSize || !sizeOfHeaders || !sectionCount ||
        !optionalSize)
        return Broken();
    if (*resourceRva == 0 && *resourceSize == 0)
        return None();
    if (*directoryCount <= 2 || *resourceRva == 0)
        return Broken();

    const std::uint64_t table = optional + *optionalSize;
    if (!file.Contains(table, std::uint64_t{*sectionCount} * kSectionHeaderSize))
        return Broken();
    std::vector<Section> sections(*sectionCount);
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const std::uint64_t at = table + i * kSectionHeaderSize;
        sections[i] = {file.Read32(at + 12).value_or(0), file.Read32(at + 16).value_or(0),
                       file.Read32(at + 20).value_or(0)};
    }
    std::optional<std::uint32_t> root = *resourceRva;
    if (*resourceRva >= *sizeOfHeaders)
        root = FileOffsetOf(sections, *resourceRva);
    if (!root)
        return None();

    ResourceTree tree(file, *root);
    Lookup type = tree.FindById(*root, kVersionType, true);
    if (type.step != Step::Found)
        return type.step == Step::Missing ? None() : Broken();
    Lookup name = tree.FindById(type.offset, kVersionName, true);
    if (name.step != Step::Found)
        return name.step == Step::Missing ? None() : Broken();
    Lookup language{Step::Missing};
    for (std::uint16_t lang : LanguageOrder(languages)) {
        language = tree.FindById(name.offset, lang, false);
        if (language.step != Step::Missing)
            break;
    }
    if (language.step == Step::Missing)
        language = tree.First(name.offset, false);
    if (language.step != Step::Found)
        return Broken();

    auto dataRva = file.Read32(language.offset);
    auto dataSize = file.Read32(language.offset + 4);
    if (!dataRva || !dataSize)
        return Broken();
    // A resource outside every section or past the end of the file: the
    // platform would read whatever memory lies there; we read nothing.
    auto offset = FileOffsetOf(sections, *dataRva);
    if (!offset || !file.Contains(*offset, *dataSize))
        return None();
    return {VersionLookup::Found, *offset, *dataSize};
}

} // namespace

VersionResource LocateVersionResource(FileReader& file, const LocaleLanguages& languages) {
    // A read that fell short (the file changed under us) decides nothing.
    const VersionResource found = Locate(file, languages);
    return file.Failed() ? Undecided() : found;
}

std::optional<VersionBlockBytes> ReadResourceBlock(FileReader& file,
                                                   const VersionResource& resource) {
    // The root's length is a 16-bit word: nothing past it matters.
    const std::size_t size = resource.size;
    VersionBlockBytes block(std::min<std::size_t>(size, 0xFFFF));
    if (!file.Copy(resource.offset, block.data(), block.size()))
        return std::nullopt;
    if (block.size() >= 2) {
        const std::size_t rootLength = block[0] | (block[1] << 8);
        // The platform's buffer is twice the resource and four bytes more;
        // past the resource it holds zeros.
        const std::size_t platformSize = size > 0x7FFF ? 0xFFFF : size * 2 + 4;
        block.resize(std::max(block.size(), std::min(rootLength, platformSize)));
    }
    block.resize(ClipToRoot(ByteSpan(block)).size());
    return block;
}

std::optional<std::uint16_t> ReadImageMachine(FileReader& file) {
    if (file.size() < kDosHeaderSize || !HasAt(file, 0, "MZ", 2))
        return std::nullopt;
    auto lfanew = PeHeaderOffset(file);
    if (!lfanew || !HasAt(file, *lfanew, "PE\0\0", 4))
        return std::nullopt;
    return file.Read16(std::uint64_t{*lfanew} + 4);
}

} // namespace calvorn::inspection
