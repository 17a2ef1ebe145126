#pragma once
// Registers and unregisters COM servers: in-process ones through their
// self-registration entry points, EXE servers through their switches, and
// tells the user the outcome.

#include "platform/message_box.h"
#include "registration/registration_engine.h"
#include "registration/registration_session.h"
#include "registration/registration_status.h"

#include <memory>
#include <optional>
#include <string>

namespace calvorn::registration {

// What the front-end needs from the platform; tests put a fake in its place.
class IRegistrationEngine {
  public:
    virtual ~IRegistrationEngine() = default;
    // An in-process server, through its entry point (in a registration host).
    virtual EngineOutcome Run(const std::wstring& path, Operation operation,
                              const RegistrationOptions& options) = 0;
    // An EXE server, started with its switch and waited for.
    virtual EngineOutcome RunServer(const std::wstring& path, Operation operation,
                                    const RegistrationOptions& options) = 0;
    // A hint that `path` comes next: whatever it needs may start now.
    virtual void Prepare(const std::wstring& /*path*/, const RegistrationOptions& /*options*/) {}
    // What a Prepare started and no Run used goes now.
    virtual void Unprepare() {}
};

class SystemRegistrationEngine final : public IRegistrationEngine {
  public:
    EngineOutcome Run(const std::wstring& path, Operation operation,
                      const RegistrationOptions& options) override;
    EngineOutcome RunServer(const std::wstring& path, Operation operation,
                            const RegistrationOptions& options) override;
    void Prepare(const std::wstring& path, const RegistrationOptions& options) override;
    void Unprepare() override { prepared_.reset(); }

  private:
    // The session of the last Prepare, used (and ended) by the next Run.
    std::unique_ptr<RegistrationSession> prepared_;
};
IRegistrationEngine& SystemEngine();

struct OutcomeMessage {
    std::wstring text;
    std::wstring title;
    unsigned flags = 0;
};

// The message that tells the user an outcome; nothing for rsNone. A failure
// gets a second line with what happened (DescribeOutcome).
std::optional<OutcomeMessage> MessageFor(Operation operation, const EngineOutcome& outcome);
// The cause of a failure in words, as the messages and the log show it.
std::wstring DiagnosisText(const inspection::ModuleDiagnosis& diagnosis);
// EXE servers are told by the file's extension, in any letter case.
bool IsExeServer(const std::wstring& path);

class clsRegistrator {
  public:
    explicit clsRegistrator(platform::IMessageBox& messages = platform::Messages(),
                            IRegistrationEngine& engine = SystemEngine());
    // A host started for a question answered No ends here, before the
    // program's end could stop its start half-way.
    ~clsRegistrator() { engine_.Unprepare(); }
    clsRegistrator(const clsRegistrator&) = delete;
    clsRegistrator& operator=(const clsRegistrator&) = delete;

    RegistrationStatus Register(std::wstring sFile);
    RegistrationStatus UnRegister(std::wstring sFile);
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

  private:
    void Carry(const std::wstring& sFile, Operation operation);

    platform::IMessageBox& messages_;
    IRegistrationEngine& engine_;
    RegistrationOptions options_;
    EngineOutcome last_;
};

} // namespace calvorn::registration
