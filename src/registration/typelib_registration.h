#pragma once
// A type library file (.tlb, .olb) registered or unregistered as a library:
// the system's registration calls run in the type-library helper of the
// library's own bitness (calvorn-typelib32.exe / calvorn-typelib64.exe),
// never in the program's process, which does not load the user's file.

#include "inspection/typelib_info.h"
#include "registration/registration_engine.h"

#include <string>

namespace calvorn::registration {

using inspection::IsTypeLibraryFile;

// Registers (RegisterTypeLib, or RegisterTypeLibForUser for one user) or
// unregisters the library of `path`, waited for at most the options' bound.
EngineOutcome RunTypeLibraryRegistration(const std::wstring& path, Operation operation,
                                         const RegistrationOptions& options);

} // namespace calvorn::registration
