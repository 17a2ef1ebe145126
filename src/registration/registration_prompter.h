#pragma once
// The window's and "-r"/"-u"'s face of the registrar: one file registered or
// unregistered, and its outcome told in a message box.

#include "platform/message_box.h"
#include "registration/registrar.h"
#include "registration/registration_engine.h"
#include "registration/registration_status.h"

#include <functional>
#include <string>

namespace calvorn::registration {

class RegistrationPrompter {
  public:
    explicit RegistrationPrompter(platform::IMessageBox& messages = platform::Messages(),
                                  IRegistrationEngine& engine = SystemEngine());
    // A host started for a question answered No ends here, before the
    // program's end could stop its start half-way.
    ~RegistrationPrompter() { engine_.Unprepare(); }
    RegistrationPrompter(const RegistrationPrompter&) = delete;
    RegistrationPrompter& operator=(const RegistrationPrompter&) = delete;

    // Without a message: the status alone.
    RegistrationStatus Register(std::wstring sFile);
    RegistrationStatus UnRegister(std::wstring sFile);
    // The registration captured with the registry's roots redirected, as
    // "-q -e" runs it; told by the caller, who writes what it captured.
    const EngineOutcome& Export(const std::wstring& sFile);
    void RegisterActiveX(const std::wstring& sFile);
    void UnRegisterActiveX(const std::wstring& sFile);
    // Lets the engine start what `sFile` will need while the user is still
    // asked to confirm.
    void Prepare(const std::wstring& sFile);

    // How the calls above run: per user or for the machine, and how the
    // calling thread waits (WaitStyle::PumpMessages keeps windows painting).
    RegistrationOptions& Options() { return options_; }
    // The whole outcome of the last call above, for those who need more
    // than the message (exit codes, log lines, the diagnosis).
    const EngineOutcome& LastOutcome() const { return last_; }

    // Told of a registration refused for want of rights (RefusedForRights)
    // before any message; true when it has told the user itself.
    using RefusalHandler = std::function<bool(Operation operation, const std::wstring& sFile)>;
    void OnRefused(RefusalHandler handler) { onRefused_ = std::move(handler); }

  private:
    void Carry(const std::wstring& sFile, Operation operation);

    platform::IMessageBox& messages_;
    IRegistrationEngine& engine_;
    RegistrationOptions options_;
    EngineOutcome last_;
    RefusalHandler onRefused_;
};

} // namespace calvorn::registration
