#include "registration/module_check.h"

#include "inspection/image_file.h"
#include "inspection/import_search.h"
#include "platform/program_parts.h"
#include "registration/user_class_containers.h"

#include <optional>

namespace calvorn::registration {

using inspection::ModuleCause;
using inspection::ModuleDiagnosis;
using platform::Bitness;

namespace {

// A component's code runs only in a host; a copy of the program without
// its hosts runs none.
bool HasHostFor(Bitness bitness) {
    return platform::LocatePart(platform::ProgramPart::RegistrationHost, bitness).has_value();
}

} // namespace

EngineOutcome RunChecked(IRegistrationEngine& engine, const std::wstring& path, Operation operation,
                         const RegistrationOptions& options) {
    const char* entryPoint =
        operation == Operation::Register ? "DllRegisterServer" : "DllUnregisterServer";
    const inspection::ModuleFactsResult module = inspection::ReadModuleFactsOf(path);
    if (auto before = inspection::DiagnoseBeforeLoad(
            path, module, entryPoint, HasHostFor(Bitness::x86), HasHostFor(Bitness::x64))) {
        EngineOutcome outcome;
        const bool noEntryPoint = before->cause == ModuleCause::MissingEntryPoint ||
                                  before->cause == ModuleCause::DotNetAssembly;
        outcome.status = noEntryPoint ? rsNotActiveX : rsLoadFailed;
        outcome.diagnosis = std::move(before);
        return outcome;
    }
    // For the user: the containers the registration creates are noted, and
    // taken away again once an unregistration has left them empty.
    std::optional<UserClassContainers> containers;
    if (options.perUser && operation == Operation::Register)
        containers.emplace();
    EngineOutcome outcome = engine.Run(path, operation, options);
    if (containers && outcome.status == rsRegistered)
        containers->NoteCreated();
    if (options.perUser && outcome.status == rsUnregistered)
        UserClassContainers::RemoveEmptyCreated();
    if (outcome.status == rsLoadFailed && module.read == inspection::ModuleRead::Read) {
        inspection::LoaderImportSearch search(path, module.facts.is64Bit);
        outcome.diagnosis = inspection::DiagnoseLoadFailure(path, module, search);
    }
    return outcome;
}

} // namespace calvorn::registration
