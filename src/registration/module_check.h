#pragma once
// Reads a component's headers before it is handed to the engine: a file the
// loader will refuse is not loaded at all, and a load that fails is followed
// by a search for the DLL it could not find. Either way the outcome carries
// the cause.

#include "inspection/module_diagnosis.h"
#include "registration/clsRegistrator.h"

#include <string>

namespace calvorn::registration {

// The engine run for an in-process server, with the diagnosis attached.
EngineOutcome RunChecked(IRegistrationEngine& engine, const std::wstring& path, Operation operation,
                         const RegistrationOptions& options = {});

} // namespace calvorn::registration
