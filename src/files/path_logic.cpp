#include "files/path_logic.h"

namespace calvorn::files {

std::wstring GetPathPart(const std::wstring& path, int flags) {
    const size_t dot = path.rfind(L'.');
    const size_t slash = path.rfind(L'\\');
    // Positions as counts of characters up to and including the separator.
    const size_t d = dot == std::wstring::npos ? 0 : dot + 1;
    const size_t s = slash == std::wstring::npos ? 0 : slash + 1;

    const std::wstring folder = path.substr(0, s);
    std::wstring name;
    std::wstring extension;
    if (d > 0 && d > s) {
        extension = path.substr(d);
        name = path.substr(s, d - s - 1);
    } else {
        name = path.substr(s);
    }

    std::wstring result;
    if (flags & ppPath)
        result += folder;
    if (flags & ppName)
        result += name;
    if (flags & ppExtension) {
        if (!result.empty())
            result += L'.';
        result += extension;
    }
    return result;
}

std::wstring EnsureSuffix(const std::wstring& text, const std::wstring& suffix) {
    if (text.size() >= suffix.size() &&
        text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0)
        return text;
    return text + suffix;
}

std::wstring StripNull(const std::wstring& text) {
    return text.substr(0, text.find(L'\0'));
}

namespace {

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days since 1 March of year 0 of the proleptic Gregorian calendar, by
// counting whole 400-year eras, then years, then months from March on (so
// the leap day falls at the end of the counted year).
std::int64_t DayNumber(int year, int month, int day) {
    const std::int64_t y = month <= 2 ? year - 1 : year;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t monthFromMarch = month > 2 ? month - 3 : month + 9;
    const std::int64_t dayOfYear = (153 * monthFromMarch + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra;
}

const std::int64_t kDayZero = DayNumber(1899, 12, 30);

} // namespace

Date DateFromFields(const CalendarFields& f) {
    if (f.year < 100 || f.year > 9999 || f.month < 1 || f.month > 12 || f.day < 1 ||
        f.day > DaysInMonth(f.year, f.month) || f.hour < 0 || f.hour > 23 || f.minute < 0 ||
        f.minute > 59 || f.second < 0 || f.second > 59)
        return kZeroDate;
    const double days = static_cast<double>(DayNumber(f.year, f.month, f.day) - kDayZero);
    const double time = (f.hour * 3600 + f.minute * 60 + f.second) / 86400.0;
    return days < 0 ? days - time : days + time;
}

} // namespace calvorn::files
