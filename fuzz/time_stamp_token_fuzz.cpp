// Arbitrary bytes as a time-stamp token: every length is checked against
// what is left, and a time that comes out is one a calendar has.

#include "inspection/time_stamp_token.h"

#include <cstddef>
#include <cstdint>

using namespace calvorn::inspection;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // 10000-01-01 in 100-nanosecond intervals since 1601: no four-digit year reaches it.
    constexpr std::uint64_t kYear10000 = 2650467744000000000ull;
    if (const auto time = TimeStampTokenTime(data, size); time && *time >= kYear10000)
        __builtin_trap();
    return 0;
}
