#pragma once
// The version block as plain bytes: the walk of its tables and the decoding
// of the fixed information. No platform headers here, so that the parsing of
// untrusted bytes can be built and fuzzed on any host.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace calvorn::inspection {

using ByteSpan = std::span<const std::uint8_t>;
using VersionBlockBytes = std::vector<std::uint8_t>;

// The block ends where its root says it does when that is inside the bytes:
// the platform's copy carries scratch data after the root's length.
ByteSpan ClipToRoot(ByteSpan block);

// Whether the block has the 16-bit layout (what the platform returns for a
// 16-bit file): no type word, keys and values in a single-byte code page.
// In the 32-bit layout the byte after the two length words is the low byte
// of the type; in the 16-bit one it is the first letter of the root's key.
// As the platform does, a byte from 0x20 to 0x7F is taken for a letter.
bool IsSixteenBitBlock(ByteSpan block);

// The value of `key` in a 32-bit block, found by walking its structure as
// the platform's queries walk it: the first "StringFileInfo", its tables in
// order, their strings in order, each entry by its length; keys are compared
// whole and without regard to ASCII letter case, and the first table that
// holds the key wins. The value is its text up to its NUL, at most its
// stored length in characters; "" when no table holds the key or the value
// runs past its entry. No value's text is ever taken for a key.
std::wstring FindVersionString(ByteSpan block, std::wstring_view key);

// A value of a 16-bit block: its bytes up to the first NUL, and the code page
// its string table names (the last four hex digits of "040904E4"), 0 when
// the table's name gives none.
struct SingleByteText {
    std::string bytes;
    std::uint16_t codePage = 0;
};

// The value of `key` in a 16-bit block, found by the same walk. Empty when no
// table holds it.
std::optional<SingleByteText> FindVersionString16(ByteSpan block, std::string_view key);

// The name of the string table that `key` is found in by that walk, in
// either layout, as four hex digits of language, a blank and four of code
// page, upper case ("0409 04B0"); empty when no table holds the key. A table
// whose name is not eight hex digits is given as it stands. Also tells a key
// that is present with an empty value from one that is absent.
std::optional<std::string> VersionStringTable(ByteSpan block, std::string_view key);

struct FixedFileInfo {
    std::uint32_t dwSignature = 0;
    std::uint32_t dwStrucVersion = 0;
    std::uint32_t dwFileVersionMS = 0;
    std::uint32_t dwFileVersionLS = 0;
    std::uint32_t dwProductVersionMS = 0;
    std::uint32_t dwProductVersionLS = 0;
    std::uint32_t dwFileFlagsMask = 0;
    std::uint32_t dwFileFlags = 0;
    std::uint32_t dwFileOS = 0;
    std::uint32_t dwFileType = 0;
    std::uint32_t dwFileSubtype = 0;
    std::uint32_t dwFileDateMS = 0;
    std::uint32_t dwFileDateLS = 0;
};
inline constexpr std::size_t kFixedFileInfoSize = 52;

// The root's value, located as the platform's root query locates it, in
// either layout; empty when the block is too short, the value holds fewer
// than 52 bytes, or it does not start with the signature 0xFEEF04BD.
std::optional<FixedFileInfo> ReadFixedInfo(ByteSpan block);

// The seven words of the fixed information.
struct FixedInfoWords {
    std::wstring StrucVerEx;
    std::wstring FileVerEx;
    std::wstring ProdVerEx;
    std::wstring FileFlagsEx;
    std::wstring FileOSEx;
    std::wstring FileTypeEx;
    std::wstring FileSubTypeEx;
};
FixedInfoWords DecodeFixedInfo(const FixedFileInfo& info);

std::wstring VersionPairText(std::uint32_t value);
std::wstring VersionQuadText(std::uint32_t ms, std::uint32_t ls);
std::wstring FileFlagsText(std::uint32_t flags);
std::wstring FileOsText(std::uint32_t os);
std::wstring FileTypeText(std::uint32_t type);
std::wstring FileSubTypeText(std::uint32_t type, std::uint32_t subtype);

} // namespace calvorn::inspection
