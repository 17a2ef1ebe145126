#pragma once
// The time in an RFC 3161 time-stamp token, read from its DER bytes. No
// platform headers (fuzzable); every length taken from the bytes is hostile.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace calvorn::inspection {

// The genTime of a time-stamp token (a signed message whose content is a
// TSTInfo), as 100-nanosecond intervals since 1 January 1601 UTC; nothing
// when the bytes are not such a token or the time is not a UTC
// GeneralizedTime ("20240501123456Z", fractions of a second allowed). The
// token's own signature is not checked: the time is the one it states.
std::optional<std::uint64_t> TimeStampTokenTime(const std::uint8_t* der, std::size_t size);

} // namespace calvorn::inspection
