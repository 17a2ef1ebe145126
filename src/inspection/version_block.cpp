#include "inspection/version_block.h"

#include <algorithm>
#include <array>

namespace calvorn::inspection {

namespace {

std::uint16_t Word(ByteSpan bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

std::uint32_t Dword(ByteSpan bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(Word(bytes, offset)) |
           (static_cast<std::uint32_t>(Word(bytes, offset + 2)) << 16);
}

// The block seen as 16-bit characters; an odd last byte is no character.
class CharView {
  public:
    explicit CharView(ByteSpan bytes) : bytes_(bytes) {}
    std::size_t size() const { return bytes_.size() / 2; }
    char16_t operator[](std::size_t i) const { return static_cast<char16_t>(Word(bytes_, i * 2)); }

  private:
    ByteSpan bytes_;
};

char16_t FoldAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

bool KeyAt(const CharView& text, std::size_t pos, std::wstring_view key) {
    for (std::size_t i = 0; i < key.size(); ++i)
        if (FoldAscii(text[pos + i]) != FoldAscii(static_cast<char16_t>(key[i])))
            return false;
    return true;
}

std::optional<std::size_t> NextNul(const CharView& text, std::size_t from) {
    for (std::size_t i = from; i < text.size(); ++i)
        if (text[i] == 0)
            return i;
    return std::nullopt;
}

std::size_t Align4(std::size_t offset) {
    return (offset + 3) & ~std::size_t{3};
}

// One entry of a 16-bit block: wLength, wValueLength, the NUL-ended key, and
// the value and the children each at the next 4-byte boundary.
struct Node16 {
    std::size_t end = 0; // where the entry ends, clipped to its parent
    std::string_view key;
    std::size_t valueStart = 0;
    std::size_t valueEnd = 0;
    std::size_t childrenStart = 0;
};

std::optional<Node16> ReadNode16(ByteSpan block, std::size_t at, std::size_t limit) {
    if (at + 4 > limit)
        return std::nullopt;
    const std::size_t length = Word(block, at);
    if (length < 5)
        return std::nullopt;
    Node16 node;
    node.end = std::min(at + length, limit);
    const auto* text = reinterpret_cast<const char*>(block.data());
    std::size_t keyEnd = at + 4;
    while (keyEnd < node.end && text[keyEnd] != 0)
        ++keyEnd;
    if (keyEnd >= node.end)
        return std::nullopt;
    node.key = std::string_view(text + at + 4, keyEnd - at - 4);
    node.valueStart = std::min(Align4(keyEnd + 1), node.end);
    node.valueEnd = std::min(node.valueStart + Word(block, at + 2), node.end);
    node.childrenStart = std::min(Align4(node.valueEnd), node.end);
    return node;
}

// Calls `visit` for each child of the entry until it returns true.
template <typename Visit> bool ForEachChild16(ByteSpan block, const Node16& parent, Visit&& visit) {
    std::size_t at = parent.childrenStart;
    while (auto child = ReadNode16(block, at, parent.end)) {
        if (visit(*child))
            return true;
        const std::size_t next = Align4(child->end);
        if (next <= at)
            break;
        at = next;
    }
    return false;
}

bool SameKey(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(static_cast<unsigned char>(a[i])) !=
            FoldAscii(static_cast<unsigned char>(b[i])))
            return false;
    return true;
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

// Where the 32-bit root's value starts, as the platform's root query finds it.
std::optional<std::size_t> FixedInfoStart32(ByteSpan block) {
    // wLength, wValueLength, wType, then the NUL-ended key; the value starts
    // at the next 4-byte boundary of the block.
    const std::size_t limit = ClipToRoot(block).size();
    if (limit < 8)
        return std::nullopt;
    const std::size_t valueLength = Word(block, 2);
    const CharView text(block.first(limit));
    auto keyEnd = NextNul(text, 3);
    if (!keyEnd || valueLength < kFixedFileInfoSize)
        return std::nullopt;
    const std::size_t valueStart = ((*keyEnd + 1) * 2 + 3) & ~std::size_t{3};
    if (valueStart > limit || limit - valueStart < kFixedFileInfoSize)
        return std::nullopt;
    return valueStart;
}

} // namespace

bool IsSixteenBitBlock(ByteSpan block) {
    return block.size() > 4 && block[4] >= 0x20;
}

std::optional<SingleByteText> FindVersionString16(ByteSpan block, std::string_view key) {
    block = ClipToRoot(block);
    const auto root = ReadNode16(block, 0, block.size());
    if (!root)
        return std::nullopt;
    std::optional<SingleByteText> found;
    ForEachChild16(block, *root, [&](const Node16& info) {
        if (!SameKey(info.key, "StringFileInfo"))
            return false;
        return ForEachChild16(block, info, [&](const Node16& table) {
            return ForEachChild16(block, table, [&](const Node16& entry) {
                if (!SameKey(entry.key, key))
                    return false;
                const auto* text = reinterpret_cast<const char*>(block.data());
                std::string_view value(text + entry.valueStart, entry.valueEnd - entry.valueStart);
                found = SingleByteText{std::string(value.substr(0, value.find('\0'))),
                                       CodePageOfTable(table.key)};
                return true;
            });
        });
    });
    return found;
}

ByteSpan ClipToRoot(ByteSpan block) {
    if (block.size() < 2)
        return block;
    // A root of length 0 holds nothing.
    const std::size_t length = Word(block, 0);
    return length < block.size() ? block.first(length) : block;
}

std::wstring FindVersionString(ByteSpan block, std::wstring_view key) {
    const CharView text(block);
    if (key.empty() || text.size() < key.size() + 2)
        return {};
    // The key needs a character before it and its NUL after it.
    for (std::size_t pos = 1; pos + key.size() < text.size(); ++pos) {
        if (text[pos - 1] >= 0x20 || text[pos + key.size()] != 0 || !KeyAt(text, pos, key))
            continue;
        // A real entry stores its value length two characters before its
        // key; zero means no value, whatever text follows.
        if (pos >= 3 && text[pos - 2] == 0)
            return {};
        std::size_t start = pos + key.size() + 1;
        auto end = NextNul(text, start);
        if (end && *end == start) {
            ++start;
            end = NextNul(text, start);
        }
        if (!end)
            return {};
        std::wstring value;
        value.reserve(*end - start);
        for (std::size_t i = start; i < *end; ++i)
            value.push_back(static_cast<wchar_t>(text[i]));
        return value;
    }
    return {};
}

std::optional<FixedFileInfo> ReadFixedInfo(ByteSpan block) {
    std::size_t valueStart = 0;
    if (IsSixteenBitBlock(block)) {
        const ByteSpan clipped = ClipToRoot(block);
        const auto root = ReadNode16(clipped, 0, clipped.size());
        if (!root || root->valueEnd - root->valueStart < kFixedFileInfoSize)
            return std::nullopt;
        valueStart = root->valueStart;
    } else {
        auto start = FixedInfoStart32(block);
        if (!start)
            return std::nullopt;
        valueStart = *start;
    }
    std::array<std::uint32_t, 13> d{};
    for (std::size_t i = 0; i < d.size(); ++i)
        d[i] = Dword(block, valueStart + i * 4);
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
