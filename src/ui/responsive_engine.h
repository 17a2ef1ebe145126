#pragma once
// The registration engine as the window thread uses it: the engine's wait
// (up to its time-out) runs on a worker while the windows keep painting.
// What the user may do meanwhile is the window's business.

#include "registration/clsRegistrator.h"

namespace calvorn::ui {

class ResponsiveEngine final : public registration::IRegistrationEngine {
  public:
    explicit ResponsiveEngine(registration::IRegistrationEngine& inner) : inner_(inner) {}

    registration::EngineOutcome Run(const std::wstring& path, registration::Operation operation,
                                    const registration::RegistrationOptions& options) override;
    registration::EngineOutcome
    RunServer(const std::wstring& path, registration::Operation operation,
              const registration::RegistrationOptions& options) override;

  private:
    registration::IRegistrationEngine& inner_;
};

// The system engine, waited for without freezing the windows.
registration::IRegistrationEngine& ResponsiveSystemEngine();

} // namespace calvorn::ui
