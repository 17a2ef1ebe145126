#pragma once
// Registers and unregisters COM servers: in-process ones through their
// self-registration entry points, EXE servers through their switches.

#include "platform/message_box.h"

#include <cstdint>
#include <string>

namespace calvorn::registration {

enum RegistrationStatus : std::int32_t {
    rsNone = 0,
    rsLoadFailed = 1,
    rsNotActiveX = 2,
    rsRegisterFailed = 3,
    rsRegistered = 4,
    rsUnregistered = 5,
    rsUnregisterFailed = 6,
    rsNoFile = 7,
};

class clsRegistrator {
  public:
    explicit clsRegistrator(platform::IMessageBox& messages = platform::Messages());

    RegistrationStatus Register(std::wstring sFile);
    RegistrationStatus UnRegister(std::wstring sFile);
    void RegisterActiveX(const std::wstring& sFile);
    void UnRegisterActiveX(const std::wstring& sFile);

  private:
    platform::IMessageBox& messages_;
};

} // namespace calvorn::registration
