#pragma once
// What the export writers share: the stored bytes of a value read as text or
// numbers, and a captured key's full name under the root it is written to.
// Text only, no Windows header, so that the writers build natively too.

#include "registration/captured_registration.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace calvorn::registration::export_text {

// The UTF-16 code units of stored string data without its terminating NUL;
// nothing when the data is not whole code units.
std::optional<std::wstring> StoredString(const std::vector<std::uint8_t>& data);
// A string that a quoted form carries back exactly: whole code units, no NUL
// inside and no line break.
std::optional<std::wstring> PlainString(const std::vector<std::uint8_t>& data);
// The strings of REG_MULTI_SZ data, up to the empty one that ends them;
// nothing when the data is not whole code units.
std::optional<std::vector<std::wstring>> MultiStrings(const std::vector<std::uint8_t>& data);
// The bytes as a little-endian number (at most the first eight).
std::uint64_t LittleEndian(const std::vector<std::uint8_t>& data);

// "HKEY_CLASSES_ROOT", ... (per user, HKEY_CLASSES_ROOT is
// "HKEY_CURRENT_USER\Software\Classes").
std::wstring RootName(CapturedRoot root, bool perUser);
std::wstring FullKeyPath(const CapturedKey& key, bool perUser);
// The registry type's name ("REG_SZ"); "REG_<number>" for an unnamed one.
std::string TypeName(CapturedType type);

std::string Utf16LittleEndianWithMark(std::wstring_view text);

} // namespace calvorn::registration::export_text
