#include "ui/responsive_engine.h"

#include "ui/message_loop.h"

namespace calvorn::ui {

registration::EngineOutcome ResponsiveEngine::Run(const std::wstring& path,
                                                  registration::Operation operation) {
    registration::EngineOutcome outcome;
    RunWhilePumping([&] { outcome = inner_.Run(path, operation); });
    return outcome;
}

unsigned long ResponsiveEngine::StartServer(const std::wstring& path,
                                            const std::wstring& switchText) {
    unsigned long result = 0;
    RunWhilePumping([&] { result = inner_.StartServer(path, switchText); });
    return result;
}

registration::IRegistrationEngine& ResponsiveSystemEngine() {
    static ResponsiveEngine engine(registration::SystemEngine());
    return engine;
}

} // namespace calvorn::ui
