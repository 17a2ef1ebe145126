#pragma once
// What the XML writers of an export share beside export_text.h: XML's
// escaping, the classes keys found wherever a component put them, and
// ids that stay the same from one export to the next.

#include "registration/captured_registration.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace calvorn::registration::export_xml {

// XML 1.0 cannot carry every character (most control characters, lone
// surrogates): text that holds one is written some other way by the caller.
bool XmlCanHold(std::wstring_view text);
// UTF-8 with & < > " ' escaped, and tab and line ends as character
// references, so that attribute normalisation keeps them.
std::string Escaped(std::wstring_view text);
// Text for inside <!-- -->: no "--", nothing XML cannot carry.
std::string CommentText(std::wstring_view text);
std::string Hex(const std::vector<std::uint8_t>& data);

bool EqualNoCase(std::wstring_view a, std::wstring_view b);
bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix);

// The path below the classes root of a key written under HKEY_CLASSES_ROOT
// or under Software\Classes of HKLM or HKCU; nothing for other keys.
std::optional<std::wstring> ClassesPath(const CapturedKey& key);
// The value of that name in the key (an empty name is the default value).
const CapturedValue* FindValue(const CapturedKey& key, std::wstring_view name);

// A 64-bit FNV-1a hash of the text, case-insensitive, as 16 hex digits.
std::string StableHash(std::wstring_view text);
// The file's name without its folder, and the folder without its name.
std::wstring FileNameOf(std::wstring_view path);
std::wstring FolderOf(std::wstring_view path);

} // namespace calvorn::registration::export_xml
