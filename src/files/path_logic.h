#pragma once
// The path splitter and the cut at a NUL: pure logic, no platform headers,
// so it builds anywhere.

#include <string>

namespace calvorn::files {

// Flags of GetPathPart; they may be combined.
enum PathPart : int {
    ppName = 1,      // file name without extension
    ppExtension = 2, // extension without its dot
    ppPath = 4,      // folder part, ending in "\"
};

// Splits at the last "\" and the last "." and joins the requested parts in
// the order folder, name, extension. The "." goes in front of the extension
// whenever something precedes it, even when the extension is empty.
std::wstring GetPathPart(const std::wstring& path, int flags);

// The text before the first NUL, or the whole text when it holds none.
std::wstring StripNull(const std::wstring& text);

} // namespace calvorn::files
