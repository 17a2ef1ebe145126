#include "registration/registrar.h"

#include "inspection/image_file.h"
#include "inspection/import_search.h"
#include "platform/program_parts.h"
#include "registration/typelib_registration.h"
#include "registration/user_class_containers.h"

#include <windows.h>

#include <optional>

namespace calvorn::registration {

using inspection::ModuleCause;
using platform::Bitness;

EngineOutcome SystemRegistrationEngine::Run(const std::wstring& path, Operation operation,
                                            const RegistrationOptions& options,
                                            std::optional<std::uint16_t> machine) {
    if (std::unique_ptr<RegistrationSession> session = std::move(prepared_)) {
        session->Options() = options;
        return session->Run(path, operation, machine);
    }
    return RunRegistration(path, operation, options, machine);
}

void SystemRegistrationEngine::Prepare(const std::wstring& path,
                                       const RegistrationOptions& options) {
    prepared_ = std::make_unique<RegistrationSession>(options);
    prepared_->Prepare(path);
}

EngineOutcome SystemRegistrationEngine::RunServer(const std::wstring& path, Operation operation,
                                                  const RegistrationOptions& options) {
    return RunExeServer(path, operation, options);
}

EngineOutcome IRegistrationEngine::RunTypeLibrary(const std::wstring& path, Operation operation,
                                                  const RegistrationOptions& options) {
    return RunTypeLibraryRegistration(path, operation, options);
}

IRegistrationEngine& SystemEngine() {
    static SystemRegistrationEngine engine;
    return engine;
}

bool IsExeServer(const std::wstring& path) {
    size_t name = path.find_last_of(L"\\/");
    size_t dot = path.find_last_of(L'.');
    if (dot == std::wstring::npos || (name != std::wstring::npos && dot < name))
        return false;
    return ::CompareStringOrdinal(path.c_str() + dot, -1, L".exe", -1, TRUE) == CSTR_EQUAL;
}

namespace {

static_assert(kServerPerUserRefused == HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED));

// A component's code runs only in a host; a copy of the program without
// its hosts runs none.
bool HasHostFor(Bitness bitness) {
    return platform::LocatePart(platform::ProgramPart::RegistrationHost, bitness).has_value();
}

EngineOutcome ServerRefusedForOneUser(Operation operation) {
    EngineOutcome outcome;
    outcome.status = operation == Operation::Unregister ? rsUnregisterFailed : rsRegisterFailed;
    outcome.exeServer = true;
    outcome.ending = Ending::NotStarted;
    outcome.code = kServerPerUserRefused;
    return outcome;
}

// A server's registration is whatever its own process does when it runs:
// there is no entry point to call with the roots redirected.
EngineOutcome ServerNotExportable() {
    EngineOutcome outcome;
    outcome.status = rsRegisterFailed;
    outcome.exeServer = true;
    outcome.ending = Ending::NotExportable;
    outcome.code = kServerPerUserRefused;
    return outcome;
}

EngineOutcome RunEntryPoint(IRegistrationEngine& engine, const std::wstring& path,
                            Operation operation, const RegistrationOptions& options) {
    const char* entryPoint =
        operation == Operation::Unregister ? "DllUnregisterServer" : "DllRegisterServer";
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
    const std::optional<std::uint16_t> machine =
        module.read == inspection::ModuleRead::Read
            ? std::optional<std::uint16_t>(module.facts.machineCode)
            : std::nullopt;
    EngineOutcome outcome = engine.Run(path, operation, options, machine);
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

} // namespace

EngineOutcome RegisterOne(IRegistrationEngine& engine, const std::wstring& path,
                          Operation operation, const RegistrationOptions& options) {
    // A library has no code of its own to run: the system registers it.
    if (IsTypeLibraryFile(path) && operation != Operation::Export)
        return engine.RunTypeLibrary(path, operation, options);
    if (!IsExeServer(path))
        return RunEntryPoint(engine, path, operation, options);
    if (operation == Operation::Export)
        return ServerNotExportable();
    // Registered for the machine while the user asked for himself alone
    // would be a success that is not one.
    if (options.perUser)
        return ServerRefusedForOneUser(operation);
    return engine.RunServer(path, operation, options);
}

} // namespace calvorn::registration
