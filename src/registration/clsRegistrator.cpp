#include "registration/clsRegistrator.h"

namespace calvorn::registration {

// Not built yet: the registration engine arrives with its own change.
clsRegistrator::clsRegistrator(platform::IMessageBox& messages) : messages_(messages) {}
RegistrationStatus clsRegistrator::Register(std::wstring) {
    return rsNone;
}
RegistrationStatus clsRegistrator::UnRegister(std::wstring) {
    return rsNone;
}
void clsRegistrator::RegisterActiveX(const std::wstring&) {}
void clsRegistrator::UnRegisterActiveX(const std::wstring&) {}

} // namespace calvorn::registration
