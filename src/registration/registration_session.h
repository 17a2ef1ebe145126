#pragma once
// Registration out of the program's process: each component's code runs in a
// registration host of the component's own bitness, and EXE servers run as
// processes of their own; both are waited for at most the bound and ended
// when they overstay it. Nothing a component does can take the program down.
//
// Waiting: with RegistrationOptions::wait = WaitStyle::PumpMessages the
// calling thread dispatches its window messages while it waits (windows keep
// painting; the caller keeps its own controls from starting another
// registration meanwhile). With WaitStyle::Block it waits as before.

#include "platform/child_process.h"
#include "registration/host_starter.h"
#include "platform/program_parts.h"
#include "registration/registration_engine.h"

#include <cstdint>
#include <optional>
#include <string>

namespace calvorn::registration {

// Several components in turn, each in a fresh host of its own, as the
// platform's own tool runs each in a process of its own: nothing one
// component does to its process reaches the next. Hosts are started ahead
// (Prepare), so that a host's start overlaps the run before it. Without a
// host of the component's bitness nothing is run: the program never runs a
// component's code in its own process.
class RegistrationSession {
  public:
    explicit RegistrationSession(RegistrationOptions options = {});
    ~RegistrationSession();
    RegistrationSession(const RegistrationSession&) = delete;
    RegistrationSession& operator=(const RegistrationSession&) = delete;

    RegistrationOptions& Options() { return options_; }
    // Starts the host that `path` will need, without waiting for it: its
    // start then overlaps whatever comes before its Run (a confirmation, the
    // components before it). False when enough hosts of its bitness wait
    // already (six): nothing was started.
    bool Prepare(const std::wstring& path);
    // A DLL or OCX through its self-registration entry point.
    EngineOutcome Run(const std::wstring& path, Operation operation);
    // The same, with the file's machine as its headers gave it to the caller
    // (nullopt: they could not be read), so that they are not read again.
    EngineOutcome Run(const std::wstring& path, Operation operation,
                      std::optional<std::uint16_t> machine);

  private:
    // `scratch`: the scratch key of an export, under HKEY_CURRENT_USER.
    EngineOutcome Serve(platform::PersistentChild& host, const std::wstring& path,
                        Operation operation, const std::wstring& scratch);

    RegistrationOptions options_;
    HostStarter starter_; // slots: 0 for 32-bit hosts, 1 for 64-bit
};

// One component in a session of its own: the host is gone when it returns.
EngineOutcome RunRegistration(const std::wstring& path, Operation operation,
                              const RegistrationOptions& options = {});
EngineOutcome RunRegistration(const std::wstring& path, Operation operation,
                              const RegistrationOptions& options,
                              std::optional<std::uint16_t> machine);

// An EXE server started with "/regserver" or "/unregserver" through the
// shell, as a user would start it, and waited for: exit code 0 is success.
EngineOutcome RunExeServer(const std::wstring& path, Operation operation,
                           const RegistrationOptions& options = {});

} // namespace calvorn::registration
