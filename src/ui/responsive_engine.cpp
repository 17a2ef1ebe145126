#include "ui/responsive_engine.h"

#include "ui/message_loop.h"

namespace calvorn::ui {

registration::EngineOutcome
ResponsiveEngine::Run(const std::wstring& path, registration::Operation operation,
                      const registration::RegistrationOptions& options) {
    registration::EngineOutcome outcome;
    RunWhilePumping([&] { outcome = inner_.Run(path, operation, options); });
    return outcome;
}

registration::EngineOutcome
ResponsiveEngine::RunServer(const std::wstring& path, registration::Operation operation,
                            const registration::RegistrationOptions& options) {
    registration::EngineOutcome outcome;
    RunWhilePumping([&] { outcome = inner_.RunServer(path, operation, options); });
    return outcome;
}

registration::IRegistrationEngine& ResponsiveSystemEngine() {
    static ResponsiveEngine engine(registration::SystemEngine());
    return engine;
}

} // namespace calvorn::ui
