#pragma once
// One file registered or unregistered, whichever front-end asked: the
// window, "-r"/"-u" or the quiet mode. The module's headers are read once,
// the route (entry point in a host, or an EXE server's switch) and the
// per-user rule are decided once, and the outcome comes back; nothing is
// shown. The front-ends only put the outcome into their own words.

#include "registration/registration_engine.h"
#include "registration/registration_session.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace calvorn::registration {

// What the registrar needs from the platform; tests put a fake in its place.
class IRegistrationEngine {
  public:
    virtual ~IRegistrationEngine() = default;
    // An in-process server, through its entry point (in a registration host);
    // `machine` as the registrar read it from the headers (nullopt: unread).
    virtual EngineOutcome Run(const std::wstring& path, Operation operation,
                              const RegistrationOptions& options,
                              std::optional<std::uint16_t> machine) = 0;
    // An EXE server, started with its switch and waited for.
    virtual EngineOutcome RunServer(const std::wstring& path, Operation operation,
                                    const RegistrationOptions& options) = 0;
    // A type library file, through the system's library registration in the
    // type-library helper.
    virtual EngineOutcome RunTypeLibrary(const std::wstring& path, Operation operation,
                                         const RegistrationOptions& options);
    // A hint that `path` comes next: whatever it needs may start now.
    virtual void Prepare(const std::wstring& /*path*/, const RegistrationOptions& /*options*/) {}
    // What a Prepare started and no Run used goes now.
    virtual void Unprepare() {}
};

class SystemRegistrationEngine final : public IRegistrationEngine {
  public:
    EngineOutcome Run(const std::wstring& path, Operation operation,
                      const RegistrationOptions& options,
                      std::optional<std::uint16_t> machine) override;
    EngineOutcome RunServer(const std::wstring& path, Operation operation,
                            const RegistrationOptions& options) override;
    void Prepare(const std::wstring& path, const RegistrationOptions& options) override;
    void Unprepare() override { prepared_.reset(); }

  private:
    // The session of the last Prepare, used (and ended) by the next Run.
    std::unique_ptr<RegistrationSession> prepared_;
};
IRegistrationEngine& SystemEngine();

// EXE servers are told by the file's extension, in any letter case.
bool IsExeServer(const std::wstring& path);

// The code of the refusal of an EXE server for one user: a server registers
// itself, and has no common switch that keeps its keys to one user.
inline constexpr long kServerPerUserRefused = static_cast<long>(0x80070032); // not supported

// One file through `engine`: an EXE server by its switch (refused for one
// user), any other file through its entry point after its headers are
// checked, with the cause of a failure attached when the headers tell it.
EngineOutcome RegisterOne(IRegistrationEngine& engine, const std::wstring& path,
                          Operation operation, const RegistrationOptions& options);

} // namespace calvorn::registration
