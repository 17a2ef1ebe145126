#pragma once
// Registers and unregisters COM servers: in-process ones through their
// self-registration entry points, EXE servers through their switches, and
// tells the user the outcome.

#include "platform/message_box.h"
#include "registration/registration_engine.h"
#include "registration/registration_status.h"

#include <optional>
#include <string>

namespace calvorn::registration {

// What the front-end needs from the platform; tests put a fake in its place.
class IRegistrationEngine {
  public:
    virtual ~IRegistrationEngine() = default;
    virtual EngineOutcome Run(const std::wstring& path, Operation operation) = 0;
    // Starts an EXE server with its switch and gives it a moment to start;
    // 0 when it started, otherwise the Win32 error code.
    virtual unsigned long StartServer(const std::wstring& path, const std::wstring& switchText) = 0;
};

class SystemRegistrationEngine final : public IRegistrationEngine {
  public:
    EngineOutcome Run(const std::wstring& path, Operation operation) override;
    unsigned long StartServer(const std::wstring& path, const std::wstring& switchText) override;
};
IRegistrationEngine& SystemEngine();

struct OutcomeMessage {
    std::wstring text;
    std::wstring title;
    unsigned flags = 0;
};

// The message that tells the user an in-process outcome; nothing for rsNone.
std::optional<OutcomeMessage> MessageFor(Operation operation, const EngineOutcome& outcome);
// The cause of a failure in words, as the messages and the log show it.
std::wstring DiagnosisText(const inspection::ModuleDiagnosis& diagnosis);
// The message for an EXE server that could not be started at all.
OutcomeMessage StartFailureMessage(Operation operation, unsigned long win32Error);
// EXE servers are told by the file's extension, in any letter case.
bool IsExeServer(const std::wstring& path);

class clsRegistrator {
  public:
    explicit clsRegistrator(platform::IMessageBox& messages = platform::Messages(),
                            IRegistrationEngine& engine = SystemEngine());

    RegistrationStatus Register(std::wstring sFile);
    RegistrationStatus UnRegister(std::wstring sFile);
    void RegisterActiveX(const std::wstring& sFile);
    void UnRegisterActiveX(const std::wstring& sFile);

  private:
    void Carry(const std::wstring& sFile, Operation operation);

    platform::IMessageBox& messages_;
    IRegistrationEngine& engine_;
};

} // namespace calvorn::registration
