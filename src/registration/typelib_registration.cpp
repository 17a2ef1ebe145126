#include "registration/typelib_registration.h"

#include "inspection/typelib_info.h"
#include "platform/disk_file.h"
#include "platform/child_process.h"
#include "platform/path_forms.h"
#include "platform/program_parts.h"

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <optional>

namespace calvorn::registration {

namespace {

constexpr long kNotALibrary = static_cast<long>(0x80029C4A); // TYPE_E_CANTLOADLIBRARY

// The library's own platform: its interfaces are registered in that view.
std::optional<platform::Bitness> LibraryBitness(const std::wstring& path) {
    const std::optional<inspection::TypeLibInfo> lib = inspection::TypeLibInfo::Open(path);
    if (!lib)
        return std::nullopt;
    return lib->TargetPlatform() == L"win64" ? platform::Bitness::x64 : platform::Bitness::x86;
}

EngineOutcome Failed(Operation operation, long code, Ending ending = Ending::Finished) {
    EngineOutcome outcome;
    outcome.status = operation == Operation::Unregister ? rsUnregisterFailed : rsRegisterFailed;
    outcome.code = code;
    outcome.ending = ending;
    return outcome;
}

} // namespace

EngineOutcome RunTypeLibraryRegistration(const std::wstring& path, Operation operation,
                                         const RegistrationOptions& options) {
    const DWORD attributes = platform::Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        EngineOutcome outcome;
        outcome.status = rsNoFile;
        outcome.code = HRESULT_FROM_WIN32(::GetLastError());
        return outcome;
    }
    const std::optional<platform::Bitness> bitness = LibraryBitness(path);
    if (!bitness) {
        EngineOutcome outcome;
        outcome.status = rsLoadFailed;
        outcome.code = kNotALibrary;
        return outcome;
    }
    const std::optional<std::wstring> helper =
        platform::LocatePart(platform::ProgramPart::TypeLibHelper, *bitness);
    if (!helper) {
        EngineOutcome outcome = Failed(operation, 0, Ending::HostMissing);
        outcome.machine =
            *bitness == platform::Bitness::x64 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
        return outcome;
    }
    std::wstring arguments = operation == Operation::Unregister ? L"/unregister" : L"/register";
    if (options.perUser)
        arguments += L" /user";
    arguments += L" \"" + path + L"\"";
    const auto start = std::chrono::steady_clock::now();
    const std::chrono::milliseconds bound(options.timeoutMs);
    const std::optional<platform::ChildResult> answer =
        platform::RunChild(*helper, arguments, bound);
    if (!answer) {
        // Either it overstayed its bound (and was ended) or it never started.
        const bool overstayed = std::chrono::steady_clock::now() - start >= bound;
        EngineOutcome outcome =
            Failed(operation, HRESULT_FROM_WIN32(overstayed ? WAIT_TIMEOUT : ERROR_FILE_NOT_FOUND),
                   overstayed ? Ending::TimedOut : Ending::NotStarted);
        outcome.timedOut = overstayed;
        outcome.boundMs = options.timeoutMs;
        return outcome;
    }
    if (answer->exitCode == 1) {
        EngineOutcome outcome;
        outcome.status = rsLoadFailed;
        outcome.code = kNotALibrary;
        return outcome;
    }
    char* end = nullptr;
    const unsigned long code = std::strtoul(answer->output.c_str(), &end, 16);
    if (answer->exitCode != 0 || answer->output.empty() || end == answer->output.c_str()) {
        EngineOutcome outcome =
            Failed(operation, static_cast<long>(answer->exitCode), Ending::Crashed);
        outcome.crashed = true;
        return outcome;
    }
    if (FAILED(static_cast<HRESULT>(code)))
        return Failed(operation, static_cast<long>(code));
    EngineOutcome outcome;
    outcome.status = operation == Operation::Unregister ? rsUnregistered : rsRegistered;
    outcome.code = static_cast<long>(code);
    return outcome;
}

} // namespace calvorn::registration
