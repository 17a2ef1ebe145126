#pragma once
// The pure logic of the file model: the path splitter, the suffix routine and
// the date builder. No platform headers here, so it builds anywhere.

#include <cstdint>
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

// Appends the suffix unless the text already ends in it (case-sensitive).
std::wstring EnsureSuffix(const std::wstring& text, const std::wstring& suffix);

// The text before the first NUL, or the whole text when it holds none.
std::wstring StripNull(const std::wstring& text);

// A date-time as a count of days from 30 December 1899 00:00:00, the fraction
// being the time of day. Before that day the whole days count down while the
// time of day still counts forward (-1.25 is 29 December 1899 06:00), so the
// value interoperates with the platform's own date type.
using Date = double;
inline constexpr Date kZeroDate = 0.0;

struct CalendarFields {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The Date with exactly these calendar fields, or the zero date when they do
// not name a valid date and time (years 100 to 9999). Built arithmetically,
// so the user's locale and date order play no part.
Date DateFromFields(const CalendarFields& fields);

} // namespace calvorn::files
