#pragma once
// The result of one registration attempt. The numbering is shared by the
// registration front-end, its message table and the self-install.

#include <cstdint>

namespace calvorn::registration {

enum RegistrationStatus : std::int32_t {
    rsLoadFailed = 1,
    rsNotActiveX = 2,
    rsRegisterFailed = 3,
    rsRegistered = 4,
    rsUnregistered = 5,
    rsUnregisterFailed = 6,
    rsNoFile = 7,
};

} // namespace calvorn::registration
