#include "inspection/typelib_header.h"

#include "inspection/pe_image.h"

namespace calvorn::inspection {

namespace {

constexpr std::uint32_t kMsft = 0x5446534D; // "MSFT"
constexpr std::uint32_t kHighBit = 0x80000000;
constexpr std::uint32_t kHelpDllFlag = 0x100;
constexpr std::uint64_t kHeaderSize = 0x54;
constexpr std::uint32_t kSegments = 15;
// Segment directory entries: type infos, import infos, import files,
// references, GUID hash, GUIDs, name hash, names, strings, ...
constexpr std::uint32_t kGuidTable = 5;
constexpr std::uint32_t kNameTable = 7;
constexpr std::uint32_t kStringTable = 8;
constexpr std::uint32_t kTypeInfoTable = 0;
// Every type description has a base record of this size, one after the other
// in the type info segment, in the library's order.
constexpr std::uint64_t kTypeInfoSize = 0x64;
constexpr int kKindInterface = 3;          // TKIND_INTERFACE
constexpr int kKindDispatch = 4;           // TKIND_DISPATCH
constexpr int kKindClass = 5;              // TKIND_COCLASS
constexpr unsigned kCanCreate = 0x2;       // TYPEFLAG_FCANCREATE
constexpr unsigned kDual = 0x40;           // TYPEFLAG_FDUAL
constexpr unsigned kOleAutomation = 0x100; // TYPEFLAG_FOLEAUTOMATION

struct Span {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

// The entry of a resource directory whose name is this text (upper-case
// ASCII; resource names compare without regard to case). Only a directory.
std::optional<std::uint64_t> NamedSubdirectory(FileReader& file, std::uint64_t root,
                                               std::uint64_t dir, const std::string& wanted) {
    auto named = file.Read16(dir + 12);
    if (!named)
        return std::nullopt;
    for (std::uint64_t i = 0; i < *named; ++i) {
        auto name = file.Read32(dir + 16 + i * 8);
        auto target = file.Read32(dir + 16 + i * 8 + 4);
        if (!name || !target || !(*name & kHighBit) || !(*target & kHighBit))
            continue;
        const std::uint64_t text = root + (*name & ~kHighBit);
        auto length = file.Read16(text);
        if (!length || *length != wanted.size())
            continue;
        bool same = true;
        for (std::size_t c = 0; c < wanted.size() && same; ++c) {
            auto ch = file.Read16(text + 2 + c * 2);
            same = ch && (*ch == static_cast<unsigned char>(wanted[c]) ||
                          *ch == static_cast<unsigned char>(wanted[c]) + 0x20u);
        }
        if (same)
            return root + (*target & ~kHighBit);
    }
    return std::nullopt;
}

// A directory that holds exactly one entry: that entry's target, or nothing.
std::optional<std::uint32_t> OnlyEntry(FileReader& file, std::uint64_t dir) {
    auto named = file.Read16(dir + 12);
    auto numbered = file.Read16(dir + 14);
    if (!named || !numbered || *named != 0 || *numbered != 1)
        return std::nullopt;
    return file.Read32(dir + 20);
}

// The target of the numbered entry `id` of a directory without named entries.
std::optional<std::uint32_t> NumberedEntry(FileReader& file, std::uint64_t dir, std::uint16_t id) {
    auto named = file.Read16(dir + 12);
    auto numbered = file.Read16(dir + 14);
    if (!named || !numbered || *named != 0)
        return std::nullopt;
    for (std::uint64_t i = 0; i < *numbered; ++i) {
        auto name = file.Read32(dir + 16 + i * 8);
        if (!name)
            return std::nullopt;
        if (*name == id)
            return file.Read32(dir + 16 + i * 8 + 4);
    }
    return std::nullopt;
}

// The TYPELIB resource number 1 of a PE module (the one the loader reads
// when it is given the module's path alone), in its only language.
std::optional<Span> TypeLibResource(FileReader& file, const PeHeaders& headers) {
    const PeDataDirectory resources = headers.Directory(file, PeDirectory::Resource);
    if (resources.rva == 0)
        return std::nullopt;
    auto root = headers.FileOffsetOf(resources.rva);
    if (!root)
        return std::nullopt;
    auto type = NamedSubdirectory(file, *root, *root, "TYPELIB");
    if (!type)
        return std::nullopt;
    auto name = NumberedEntry(file, *type, 1);
    if (!name || !(*name & kHighBit))
        return std::nullopt;
    auto language = OnlyEntry(file, *root + (*name & ~kHighBit));
    if (!language || (*language & kHighBit))
        return std::nullopt;
    const std::uint64_t entry = *root + *language;
    auto dataRva = file.Read32(entry);
    auto dataSize = file.Read32(entry + 4);
    if (!dataRva || !dataSize)
        return std::nullopt;
    auto offset = headers.SectionOffsetOf(*dataRva);
    if (!offset || !file.Contains(*offset, *dataSize))
        return std::nullopt;
    return Span{*offset, *dataSize};
}

// A piece of a segment, checked to lie inside it.
std::optional<std::uint64_t> InSegment(const Span& segment, std::int64_t at, std::uint64_t size) {
    if (at < 0 || static_cast<std::uint64_t>(at) > segment.size ||
        segment.size - static_cast<std::uint64_t>(at) < size)
        return std::nullopt;
    return segment.offset + static_cast<std::uint64_t>(at);
}

// Text up to its first NUL; nothing when it holds a byte outside ASCII,
// whose reading depends on a code page.
std::optional<std::string> AsciiText(FileReader& file, std::uint64_t at, std::uint64_t size) {
    std::string text(static_cast<std::size_t>(size), '\0');
    if (size > 0 && !file.Copy(at, reinterpret_cast<std::uint8_t*>(text.data()), text.size()))
        return std::nullopt;
    if (auto nul = text.find('\0'); nul != std::string::npos)
        text.resize(nul);
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return std::nullopt;
    return text;
}

// An entry of the name table: a reference, a hash link, the length in its
// low byte, then the text.
std::optional<std::string> NameAt(FileReader& file, const Span& names, std::uint32_t offset) {
    auto entry = InSegment(names, static_cast<std::int32_t>(offset), 12);
    auto length = entry ? file.Read32(*entry + 8) : std::nullopt;
    if (!length)
        return std::nullopt;
    auto at =
        InSegment(names, std::int64_t{static_cast<std::int32_t>(offset)} + 12, *length & 0xFF);
    return at ? AsciiText(file, *at, *length & 0xFF) : std::nullopt;
}

bool GuidAt(FileReader& file, const Span& guids, std::uint32_t offset, StoredGuid& guid) {
    auto at = InSegment(guids, static_cast<std::int32_t>(offset), 16);
    return at && file.Copy(*at, guid.data(), guid.size());
}

// The registered types, each from its base record; nothing as soon as one is
// not plain: a record outside its segment, a GUID or name that does not read.
std::optional<std::vector<HeaderType>> ReadTypes(FileReader& file, const Span& lib,
                                                 std::uint64_t offsets, std::uint32_t count,
                                                 const Span* segments) {
    const Span& infos = segments[kTypeInfoTable];
    std::vector<HeaderType> types;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t at = i * kTypeInfoSize;
        // The header lists where each record starts; the loader takes them
        // in sequence. A library where the two disagree is left to it.
        auto listed = offsets + (i + 1) * 4 <= lib.size ? file.Read32(lib.offset + offsets + i * 4)
                                                        : std::nullopt;
        auto record = InSegment(infos, static_cast<std::int64_t>(at), kTypeInfoSize);
        if (!listed || *listed != at || !record)
            return std::nullopt;
        auto kind = file.Read32(*record);
        auto posGuid = file.Read32(*record + 0x2C);
        auto flags = file.Read32(*record + 0x30);
        auto nameOffset = file.Read32(*record + 0x34);
        if (!kind || !posGuid || !flags || !nameOffset)
            return std::nullopt;
        const RegisteredKind registered =
            RegisteredKindOf(static_cast<int>(*kind & 0x0F), *flags & 0xFFFF);
        if (registered == RegisteredKind::None)
            continue;
        HeaderType type;
        type.isClass = registered == RegisteredKind::Class;
        // A type without a GUID is registered under the null one, as the
        // loader reads it.
        if (static_cast<std::int32_t>(*posGuid) >= 0 &&
            !GuidAt(file, segments[kGuidTable], *posGuid, type.guid))
            return std::nullopt;
        auto name = NameAt(file, segments[kNameTable], *nameOffset);
        if (!name)
            return std::nullopt;
        type.name = std::move(*name);
        types.push_back(std::move(type));
    }
    return types;
}

std::optional<TypeLibHeader> ReadMsft(FileReader& file, const Span& lib) {
    auto field = [&](std::uint64_t at) -> std::optional<std::uint32_t> {
        return at + 4 <= lib.size ? file.Read32(lib.offset + at) : std::nullopt;
    };
    auto magic = field(0);
    auto posGuid = field(0x08);
    // The library's locale is the second of the two the header holds (the
    // first is the locale it was built with).
    auto lcid = field(0x10);
    auto varFlags = field(0x14);
    auto version = field(0x18);
    auto typeInfos = field(0x20);
    auto helpString = field(0x24);
    auto nameOffset = field(0x38);
    if (!magic || *magic != kMsft || !posGuid || !lcid || !varFlags || !version || !typeInfos ||
        !helpString || !nameOffset)
        return std::nullopt;
    if (*typeInfos > lib.size / 4)
        return std::nullopt;
    const std::uint64_t offsets = kHeaderSize + ((*varFlags & kHelpDllFlag) ? 4 : 0);
    const std::uint64_t directory = offsets + std::uint64_t{*typeInfos} * 4;
    Span segments[kSegments];
    for (std::uint32_t i = 0; i < kSegments; ++i) {
        auto offset = field(directory + i * 16);
        auto length = field(directory + i * 16 + 4);
        auto marker = field(directory + i * 16 + 12);
        if (!offset || !length || !marker)
            return std::nullopt;
        // The loader takes the directory for real by this marker.
        if (i < 2 && *marker != 0x0F)
            return std::nullopt;
        const bool absent = static_cast<std::int32_t>(*offset) < 0;
        if (!absent && (*offset > lib.size || lib.size - *offset < *length))
            return std::nullopt;
        segments[i] = absent ? Span{} : Span{lib.offset + *offset, *length};
    }

    TypeLibHeader header;
    if (!GuidAt(file, segments[kGuidTable], *posGuid, header.guid))
        return std::nullopt;
    auto nameText = NameAt(file, segments[kNameTable], *nameOffset);
    if (!nameText)
        return std::nullopt;
    header.name = std::move(*nameText);
    if (static_cast<std::int32_t>(*helpString) >= 0) {
        auto at = InSegment(segments[kStringTable], static_cast<std::int32_t>(*helpString), 2);
        auto length = at ? file.Read16(*at) : std::nullopt;
        if (!length)
            return std::nullopt;
        const auto chars = static_cast<std::int16_t>(*length);
        if (chars > 0) {
            auto textAt = InSegment(segments[kStringTable],
                                    std::int64_t{static_cast<std::int32_t>(*helpString)} + 2,
                                    static_cast<std::uint64_t>(chars));
            auto text =
                textAt ? AsciiText(file, *textAt, static_cast<std::uint64_t>(chars)) : std::nullopt;
            if (!text)
                return std::nullopt;
            header.helpString = std::move(*text);
        }
    }
    header.major = static_cast<std::uint16_t>(*version & 0xFFFF);
    header.minor = static_cast<std::uint16_t>(*version >> 16);
    header.lcid = *lcid;
    header.syskind = static_cast<int>(*varFlags & 0x0F);
    header.types = ReadTypes(file, lib, offsets, *typeInfos, segments);
    return header;
}

} // namespace

std::wstring GuidText(const StoredGuid& g) {
    static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
    // Data1, Data2 and Data3 are stored little-endian; Data4 byte by byte.
    static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    std::wstring text = L"{";
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text += L'-';
        text += kHex[g[static_cast<std::size_t>(kOrder[i])] >> 4];
        text += kHex[g[static_cast<std::size_t>(kOrder[i])] & 0x0F];
    }
    return text + L"}";
}

RegisteredKind RegisteredKindOf(int typeKind, unsigned typeFlags) {
    if (typeKind == kKindClass)
        return (typeFlags & kCanCreate) ? RegisteredKind::Class : RegisteredKind::None;
    if (typeKind == kKindDispatch ||
        (typeKind == kKindInterface && (typeFlags & (kOleAutomation | kDual))))
        return RegisteredKind::Interface;
    return RegisteredKind::None;
}

std::optional<TypeLibHeader> ReadTypeLibHeader(FileReader& file) {
    std::optional<Span> lib;
    const PeHeadersResult pe = ReadPeHeaders(file);
    if (pe.read == PeHeadersRead::Read)
        lib = TypeLibResource(file, pe.headers);
    else if (pe.read == PeHeadersRead::NotPe && file.Read32(0) == kMsft)
        lib = Span{0, file.size()};
    if (!lib)
        return std::nullopt;
    auto header = ReadMsft(file, *lib);
    // A read that fell short (the file changed under us) decides nothing.
    if (file.Failed())
        return std::nullopt;
    return header;
}

bool HasTypeLibResource(FileReader& file) {
    const PeHeadersResult pe = ReadPeHeaders(file);
    if (pe.read != PeHeadersRead::Read)
        return false;
    const PeDataDirectory resources = pe.headers.Directory(file, PeDirectory::Resource);
    auto root = resources.rva ? pe.headers.FileOffsetOf(resources.rva) : std::nullopt;
    return root && NamedSubdirectory(file, *root, *root, "TYPELIB").has_value();
}

} // namespace calvorn::inspection
