#include "inspection/time_stamp_token.h"

#include <span>

namespace calvorn::inspection {

namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::uint8_t kInteger = 0x02, kOctets = 0x04, kOid = 0x06, kGeneralizedTime = 0x18,
                       kSequence = 0x30, kSet = 0x31, kExplicit0 = 0xA0;

// Takes one element of the expected tag off the front of `in`.
std::optional<Bytes> Take(Bytes& in, std::uint8_t tag) {
    if (in.size() < 2 || in[0] != tag)
        return std::nullopt;
    std::size_t length = in[1];
    std::size_t head = 2;
    if (length & 0x80) {
        const std::size_t count = length & 0x7F;
        if (count == 0 || count > 4 || in.size() < 2 + count)
            return std::nullopt;
        length = 0;
        for (std::size_t i = 0; i < count; ++i)
            length = length << 8 | in[2 + i];
        head += count;
    }
    if (in.size() - head < length)
        return std::nullopt;
    const Bytes body = in.subspan(head, length);
    in = in.subspan(head + length);
    return body;
}

std::optional<unsigned> Digits(Bytes text, std::size_t at, std::size_t count) {
    unsigned value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// Days from 1 January 1601 to a civil date of the proleptic Gregorian calendar.
std::int64_t DaysSince1601(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 584694;
}

bool IsLeap(unsigned year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

std::optional<std::uint64_t> GeneralizedTime(Bytes text) {
    const auto year = Digits(text, 0, 4), month = Digits(text, 4, 2), day = Digits(text, 6, 2),
               hour = Digits(text, 8, 2), minute = Digits(text, 10, 2),
               second = Digits(text, 12, 2);
    if (!year || !month || !day || !hour || !minute || !second)
        return std::nullopt;
    static constexpr unsigned kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (*year < 1601 || *month < 1 || *month > 12 || *day < 1 ||
        *day > kMonthDays[*month - 1] + (*month == 2 && IsLeap(*year)) || *hour > 23 ||
        *minute > 59 || *second > 59)
        return std::nullopt;
    std::size_t at = 14;
    std::uint64_t fraction = 0; // in 100-nanosecond intervals
    if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
        std::uint64_t scale = 1000000;
        const std::size_t first = ++at;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, scale /= 10)
            fraction += (text[at] - '0') * scale;
        if (at == first)
            return std::nullopt;
    }
    // Only UTC: a local time without its zone is no instant.
    if (at + 1 != text.size() || text[at] != 'Z')
        return std::nullopt;
    const std::uint64_t seconds =
        static_cast<std::uint64_t>(DaysSince1601(*year, *month, *day)) * 86400 + *hour * 3600 +
        *minute * 60 + *second;
    return seconds * 10000000 + fraction;
}

} // namespace

std::optional<std::uint64_t> TimeStampTokenTime(const std::uint8_t* der, std::size_t size) {
    if (!der)
        return std::nullopt;
    Bytes in(der, size);
    // ContentInfo { contentType, [0] SignedData { version, digestAlgorithms,
    // encapContentInfo { eContentType, [0] OCTET STRING { TSTInfo } } } }
    auto contentInfo = Take(in, kSequence);
    if (!contentInfo || !Take(*contentInfo, kOid))
        return std::nullopt;
    auto explicitSigned = Take(*contentInfo, kExplicit0);
    auto signedData = explicitSigned ? Take(*explicitSigned, kSequence) : std::nullopt;
    if (!signedData || !Take(*signedData, kInteger) || !Take(*signedData, kSet))
        return std::nullopt;
    auto encapsulated = Take(*signedData, kSequence);
    if (!encapsulated || !Take(*encapsulated, kOid))
        return std::nullopt;
    auto explicitContent = Take(*encapsulated, kExplicit0);
    auto octets = explicitContent ? Take(*explicitContent, kOctets) : std::nullopt;
    auto info = octets ? Take(*octets, kSequence) : std::nullopt;
    if (!info)
        return std::nullopt;
    // TSTInfo: version, policy, messageImprint, serialNumber, then genTime.
    for (std::uint8_t tag : {kInteger, kOid, kSequence, kInteger})
        if (!Take(*info, tag))
            return std::nullopt;
    const auto time = Take(*info, kGeneralizedTime);
    return time ? GeneralizedTime(*time) : std::nullopt;
}

} // namespace calvorn::inspection
