#include "inspection/pe_resource_locator.h"

#include "inspection/pe_image.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace calvorn::inspection {

namespace {

constexpr std::uint16_t kVersionType = 16;
constexpr std::uint16_t kVersionName = 1;
constexpr std::uint16_t kEnglishUs = 0x0409;
constexpr std::uint32_t kHighBit = 0x80000000;

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

VersionResource Undecided() {
    return {VersionLookup::Undecided, 0, 0, false};
}
VersionResource None() {
    return {VersionLookup::None, 0, 0, false};
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
    const PeHeadersResult pe = ReadPeHeaders(file);
    switch (pe.read) {
    case PeHeadersRead::Read:
        break;
    case PeHeadersRead::OtherKind:
        // 16-bit files are read here, never by the platform's version calls:
        // those size their copy from the file's numbers and fault on some.
        if (auto ne = NeHeaderOffset(file))
            return LocateNeVersionResource(file, *ne);
        return Undecided();
    case PeHeadersRead::NotPe:
        return None();
    case PeHeadersRead::Damaged:
        return Broken();
    }
    const PeHeaders& headers = pe.headers;
    const PeDataDirectory resources = headers.Directory(file, PeDirectory::Resource);
    if (resources.rva == 0)
        return None();
    std::optional<std::uint32_t> root = headers.FileOffsetOf(resources.rva);
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
    auto offset = headers.SectionOffsetOf(*dataRva);
    if (!offset || *dataSize > kMaxVersionResourceSize || !file.Contains(*offset, *dataSize))
        return None();
    return {VersionLookup::Found, *offset, *dataSize, false};
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
    const std::size_t size = std::min<std::size_t>(resource.size, kMaxVersionResourceSize);
    // The platform's buffer is twice a PE resource and four bytes more, or
    // four times a 16-bit resource less its fixed information; past the
    // resource it holds zeros.
    std::size_t platformSize = 0xFFFF;
    if (!resource.sixteenBitFile && size <= 0x7FFF)
        platformSize = size * 2 + 4;
    else if (resource.sixteenBitFile && size <= 0x3FFF + 52)
        platformSize = size < 52 ? 0 : (size - 52) * 4;
    VersionBlockBytes block(std::min({size, platformSize, std::size_t{0xFFFF}}));
    if (!file.Copy(resource.offset, block.data(), block.size()))
        return std::nullopt;
    if (block.size() >= 2) {
        const std::size_t rootLength = block[0] | (block[1] << 8);
        block.resize(std::max(block.size(), std::min(rootLength, platformSize)));
    }
    block.resize(ClipToRoot(ByteSpan(block)).size());
    return block;
}

} // namespace calvorn::inspection
