#include "inspection/version_block.h"

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

} // namespace

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
