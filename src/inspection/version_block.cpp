#include "inspection/version_block.h"

#include <algorithm>
#include <array>
#include <type_traits>

namespace calvorn::inspection {

namespace {

std::uint16_t Word(ByteSpan bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

std::uint32_t Dword(ByteSpan bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(Word(bytes, offset)) |
           (static_cast<std::uint32_t>(Word(bytes, offset + 2)) << 16);
}

char16_t FoldAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

std::size_t Align4(std::size_t offset) {
    return (offset + 3) & ~std::size_t{3};
}

// The two layouts differ in the header (the 32-bit one has a type word) and
// in the width of the characters of keys and values.
struct Layout {
    std::size_t header;
    std::size_t charSize;
};
constexpr Layout kLayout16{4, 1};
constexpr Layout kLayout32{6, 2};

// One entry: wLength, wValueLength, (wType,) the NUL-ended key, the value at
// the next 4-byte boundary, the children at the boundary after the value.
struct Node {
    std::size_t end = 0;    // where the entry ends, clipped to its parent
    std::size_t length = 0; // as stored
    std::size_t keyStart = 0;
    std::size_t keyChars = 0;
    bool keyEnds = false; // the key's NUL lies inside the entry
    std::uint16_t valueLength = 0;
    std::size_t valueStart = 0;
    std::size_t childrenStart = 0;
};

std::size_t CharAt(ByteSpan block, const Layout& layout, std::size_t offset) {
    return layout.charSize == 2 ? Word(block, offset) : block[offset];
}

std::optional<Node> ReadNode(ByteSpan block, const Layout& layout, std::size_t at,
                             std::size_t limit) {
    if (at >= limit || limit - at < layout.header)
        return std::nullopt;
    Node node;
    node.length = Word(block, at);
    node.end = std::min(at + node.length, limit);
    node.valueLength = Word(block, at + 2);
    node.keyStart = at + layout.header;
    std::size_t keyEnd = node.keyStart;
    while (keyEnd + layout.charSize <= node.end && CharAt(block, layout, keyEnd) != 0)
        keyEnd += layout.charSize;
    node.keyEnds = keyEnd + layout.charSize <= node.end;
    node.keyChars = (keyEnd - node.keyStart) / layout.charSize;
    node.valueStart = Align4(keyEnd + layout.charSize);
    // As the platform's walk does: a 32-bit entry of a text type counts its
    // value in characters, any other in bytes.
    const bool text = layout.charSize == 2 && Word(block, at + 4) != 0;
    node.childrenStart = Align4(node.valueStart + node.valueLength * (text ? 2u : 1u));
    return node;
}

// Calls `visit` for each child of the entry, in order, until it returns true;
// the siblings follow one another at 4-byte boundaries, and a child of length
// 0 is the last one looked at.
template <typename Visit>
bool ForEachChild(ByteSpan block, const Layout& layout, const Node& parent, Visit&& visit) {
    std::size_t at = parent.childrenStart;
    while (auto child = ReadNode(block, layout, at, parent.end)) {
        if (visit(*child))
            return true;
        if (child->length == 0)
            break;
        at += Align4(child->length);
    }
    return false;
}

// The whole key, compared without regard to ASCII letter case.
template <typename Char>
bool KeyIs(ByteSpan block, const Layout& layout, const Node& node,
           std::basic_string_view<Char> key) {
    if (!node.keyEnds || node.keyChars != key.size())
        return false;
    for (std::size_t i = 0; i < key.size(); ++i) {
        const auto c = CharAt(block, layout, node.keyStart + i * layout.charSize);
        const auto wanted = static_cast<std::make_unsigned_t<Char>>(key[i]);
        if (FoldAscii(static_cast<char16_t>(c)) != FoldAscii(static_cast<char16_t>(wanted)))
            return false;
    }
    return true;
}

struct StringEntry {
    Node table;
    Node entry;
};

// "StringFileInfo" (the first one, as the platform's path query takes it),
// its tables in order, their strings in order: the first table that holds
// the key wins.
template <typename Char>
std::optional<StringEntry> FindStringEntry(ByteSpan block, const Layout& layout,
                                           std::basic_string_view<Char> key) {
    const auto root = ReadNode(block, layout, 0, block.size());
    if (!root || !root->keyEnds || key.empty())
        return std::nullopt;
    static constexpr char kStringFileInfo[] = "StringFileInfo";
    std::optional<Node> info;
    ForEachChild(block, layout, *root, [&](const Node& child) {
        if (KeyIs(block, layout, child, std::string_view(kStringFileInfo)))
            info = child;
        return info.has_value();
    });
    if (!info)
        return std::nullopt;
    std::optional<StringEntry> found;
    ForEachChild(block, layout, *info, [&](const Node& table) {
        return ForEachChild(block, layout, table, [&](const Node& entry) {
            if (KeyIs(block, layout, entry, key))
                found = StringEntry{table, entry};
            return found.has_value();
        });
    });
    return found;
}

std::uint16_t CodePageOfTable(std::string_view name) {
    if (name.size() != 8)
        return 0;
    std::uint16_t codePage = 0;
    for (char c : name.substr(4)) {
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
        if (digit < 0)
            return 0;
        codePage = static_cast<std::uint16_t>(codePage * 16 + digit);
    }
    return codePage;
}

constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;

} // namespace

bool IsSixteenBitBlock(ByteSpan block) {
    // The platform reads that byte as a signed character: 0x80 and above are
    // below a blank, as a type word's low byte is.
    return block.size() > 4 && block[4] >= 0x20 && block[4] < 0x80;
}

std::optional<SingleByteText> FindVersionString16(ByteSpan block, std::string_view key) {
    block = ClipToRoot(block);
    const auto found = FindStringEntry(block, kLayout16, key);
    if (!found)
        return std::nullopt;
    const Node& entry = found->entry;
    const auto* text = reinterpret_cast<const char*>(block.data());
    const std::size_t valueStart = std::min(entry.valueStart, entry.end);
    const std::size_t valueEnd = std::min(valueStart + entry.valueLength, entry.end);
    const std::string_view value(text + valueStart, valueEnd - valueStart);
    const std::string_view table(text + found->table.keyStart, found->table.keyChars);
    return SingleByteText{std::string(value.substr(0, value.find('\0'))), CodePageOfTable(table)};
}

std::optional<std::string> VersionStringTable(ByteSpan block, std::string_view key) {
    block = ClipToRoot(block);
    const Layout& layout = IsSixteenBitBlock(block) ? kLayout16 : kLayout32;
    const auto found = FindStringEntry(block, layout, key);
    if (!found)
        return std::nullopt;
    std::string name;
    for (std::size_t i = 0; i < found->table.keyChars; ++i) {
        const auto c = CharAt(block, layout, found->table.keyStart + i * layout.charSize);
        // Only the hex digits matter; anything outside ASCII is shown as such.
        name += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    const bool hex =
        name.size() == 8 && name.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
    if (!hex)
        return name;
    for (char& c : name)
        if (c >= 'a' && c <= 'f')
            c = static_cast<char>(c - 'a' + 'A');
    return name.substr(0, 4) + ' ' + name.substr(4);
}

ByteSpan ClipToRoot(ByteSpan block) {
    if (block.size() < 2)
        return block;
    // A root of length 0 holds nothing.
    const std::size_t length = Word(block, 0);
    return length < block.size() ? block.first(length) : block;
}

std::wstring FindVersionString(ByteSpan block, std::wstring_view key) {
    block = ClipToRoot(block);
    const auto found = FindStringEntry(block, kLayout32, key);
    if (!found)
        return {};
    // The value's text up to its NUL, at most as many characters as its
    // length says; a value cut short by its entry's end is no value.
    const Node& entry = found->entry;
    std::wstring value;
    for (std::size_t i = 0; i < entry.valueLength; ++i) {
        const std::size_t at = entry.valueStart + i * 2;
        if (at + 2 > entry.end)
            return {};
        const wchar_t c = static_cast<wchar_t>(Word(block, at));
        if (c == 0)
            break;
        value.push_back(c);
    }
    return value;
}

std::optional<FixedFileInfo> ReadFixedInfo(ByteSpan block) {
    block = ClipToRoot(block);
    // The root's value, as the platform's root query finds it, holding at
    // least the 52 bytes by its own length and by the block's.
    const Layout& layout = IsSixteenBitBlock(block) ? kLayout16 : kLayout32;
    const auto root = ReadNode(block, layout, 0, block.size());
    if (!root || !root->keyEnds || root->valueLength < kFixedFileInfoSize ||
        root->valueStart > block.size() || block.size() - root->valueStart < kFixedFileInfoSize)
        return std::nullopt;
    std::array<std::uint32_t, 13> d{};
    for (std::size_t i = 0; i < d.size(); ++i)
        d[i] = Dword(block, root->valueStart + i * 4);
    // Anything else there is not the fixed information, whatever its length.
    if (d[0] != kFixedInfoSignature)
        return std::nullopt;
    return FixedFileInfo{d[0], d[1], d[2], d[3],  d[4],  d[5], d[6],
                         d[7], d[8], d[9], d[10], d[11], d[12]};
}

std::wstring VersionPairText(std::uint32_t value) {
    return std::to_wstring(value >> 16) + L"." + std::to_wstring(value & 0xFFFF);
}

std::wstring VersionQuadText(std::uint32_t ms, std::uint32_t ls) {
    return VersionPairText(ms) + L"." + VersionPairText(ls);
}

std::wstring FileFlagsText(std::uint32_t flags) {
    static constexpr std::array<std::pair<std::uint32_t, const wchar_t*>, 6> kWords{{
        {0x01, L"Debug "},
        {0x02, L"PreRel "},
        {0x04, L"Patched "},
        {0x08, L"Private "},
        {0x10, L"Info "},
        {0x20, L"Special "},
    }};
    std::wstring text;
    for (const auto& [bit, word] : kWords)
        if (flags & bit)
            text += word;
    return text;
}

std::wstring FileOsText(std::uint32_t os) {
    switch (os) {
    case 0x00010001:
        return L"DOS-Win16";
    case 0x00010004:
        return L"DOS-Win32";
    case 0x00020002:
        return L"OS/2-16 PM-16";
    case 0x00030003:
        return L"OS/2-16 PM-32";
    case 0x00040004:
        return L"NT-Win32";
    default:
        return L"Unknown";
    }
}

std::wstring FileTypeText(std::uint32_t type) {
    switch (type) {
    case 1:
        return L"App";
    case 2:
        return L"DLL";
    case 3:
        return L"Driver";
    case 4:
        return L"Font";
    case 5:
        return L"VxD";
    case 7:
        return L"Lib";
    default:
        return L"Unknown";
    }
}

std::wstring FileSubTypeText(std::uint32_t type, std::uint32_t subtype) {
    static constexpr std::array<const wchar_t*, 11> kDrivers{
        L"Unknown",        L"Printer driver", L"Keyboard driver", L"Language driver",
        L"Display driver", L"Mouse driver",   L"Network driver",  L"System driver",
        L"Installable",    L"Sound driver",   L"Comm driver"};
    static constexpr std::array<const wchar_t*, 3> kFonts{L"Raster Font", L"Vector Font",
                                                          L"TrueType Font"};
    if (type == 3 && subtype < kDrivers.size())
        return kDrivers[subtype];
    if (type == 4 && subtype >= 1 && subtype <= kFonts.size())
        return kFonts[subtype - 1];
    return {};
}

FixedInfoWords DecodeFixedInfo(const FixedFileInfo& info) {
    return FixedInfoWords{VersionPairText(info.dwStrucVersion),
                          VersionQuadText(info.dwFileVersionMS, info.dwFileVersionLS),
                          VersionQuadText(info.dwProductVersionMS, info.dwProductVersionLS),
                          FileFlagsText(info.dwFileFlags),
                          FileOsText(info.dwFileOS),
                          FileTypeText(info.dwFileType),
                          FileSubTypeText(info.dwFileType, info.dwFileSubtype)};
}

} // namespace calvorn::inspection
