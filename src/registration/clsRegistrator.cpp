#include "registration/clsRegistrator.h"

namespace calvorn::registration {

clsRegistrator::clsRegistrator(platform::IMessageBox& messages, IRegistrationEngine& engine)
    : messages_(messages), engine_(engine) {}

RegistrationStatus clsRegistrator::Register(std::wstring sFile) {
    last_ = RegisterOne(engine_, sFile, Operation::Register, options_);
    return last_.status;
}

RegistrationStatus clsRegistrator::UnRegister(std::wstring sFile) {
    last_ = RegisterOne(engine_, sFile, Operation::Unregister, options_);
    return last_.status;
}

void clsRegistrator::RegisterActiveX(const std::wstring& sFile) {
    Carry(sFile, Operation::Register);
}

void clsRegistrator::UnRegisterActiveX(const std::wstring& sFile) {
    Carry(sFile, Operation::Unregister);
}

void clsRegistrator::Prepare(const std::wstring& sFile) {
    if (!IsExeServer(sFile))
        engine_.Prepare(sFile, options_);
}

void clsRegistrator::Carry(const std::wstring& sFile, Operation operation) {
    last_ = RegisterOne(engine_, sFile, operation, options_);
    if (auto message = MessageFor(operation, last_))
        messages_.Show(message->text, message->title, message->flags);
}

} // namespace calvorn::registration
