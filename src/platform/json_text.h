#pragma once
// JSON's one escaping rule for every JSON the program writes. Text only, so
// it builds and is tested natively as well.

#include <string>
#include <string_view>

namespace calvorn::platform {

// A JSON string of UTF-8 text, quotes included: quotes, backslashes and
// control characters escaped, every other byte as it is.
std::string JsonString(std::string_view utf8);

} // namespace calvorn::platform
