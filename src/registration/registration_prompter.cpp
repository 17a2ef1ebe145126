#include "registration/registration_prompter.h"

#include "inspection/typelib_info.h"

namespace calvorn::registration {

RegistrationPrompter::RegistrationPrompter(platform::IMessageBox& messages,
                                           IRegistrationEngine& engine)
    : messages_(messages), engine_(engine) {}

RegistrationStatus RegistrationPrompter::Register(std::wstring sFile) {
    last_ = RegisterOne(engine_, sFile, Operation::Register, options_);
    return last_.status;
}

RegistrationStatus RegistrationPrompter::UnRegister(std::wstring sFile) {
    last_ = RegisterOne(engine_, sFile, Operation::Unregister, options_);
    return last_.status;
}

const EngineOutcome& RegistrationPrompter::Export(const std::wstring& sFile) {
    last_ = RegisterOne(engine_, sFile, Operation::Export, options_);
    return last_;
}

void RegistrationPrompter::RegisterActiveX(const std::wstring& sFile) {
    Carry(sFile, Operation::Register);
}

void RegistrationPrompter::UnRegisterActiveX(const std::wstring& sFile) {
    Carry(sFile, Operation::Unregister);
}

void RegistrationPrompter::Prepare(const std::wstring& sFile) {
    // A server or a library file runs in no registration host.
    if (!IsExeServer(sFile) && !inspection::IsTypeLibraryFile(sFile))
        engine_.Prepare(sFile, options_);
}

void RegistrationPrompter::Carry(const std::wstring& sFile, Operation operation) {
    last_ = RegisterOne(engine_, sFile, operation, options_);
    if (onRefused_ && RefusedForRights(last_) && onRefused_(operation, sFile))
        return;
    if (auto message = MessageFor(operation, last_))
        messages_.Show(message->text, message->title, message->flags);
}

} // namespace calvorn::registration
