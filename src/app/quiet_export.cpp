#include "app/quiet_export.h"

#include "app/quiet_registration.h"
#include "app/report_file.h"
#include "inspection/pe_version_reader.h"
#include "platform/error_record.h"
#include "platform/path_forms.h"
#include "platform/text.h"
#include "registration/export/export_writer.h"
#include "registration/registrar.h"
#include "registration/registration_capture.h"

#include <windows.h>

#include <optional>

namespace calvorn::app {

using registration::EngineOutcome;
using registration::ExportedFile;
using registration::Operation;

namespace {

std::array<std::uint16_t, 4> FileVersionOf(const std::wstring& path) {
    const inspection::VersionBlock block = inspection::ReadVersionBlock(path);
    const auto info = inspection::ReadFixedInfo(block);
    if (!info)
        return {1, 0, 0, 0};
    return {static_cast<std::uint16_t>(info->dwFileVersionMS >> 16),
            static_cast<std::uint16_t>(info->dwFileVersionMS),
            static_cast<std::uint16_t>(info->dwFileVersionLS >> 16),
            static_cast<std::uint16_t>(info->dwFileVersionLS)};
}

void Fail(IQuietOutput& output, const std::wstring& path, unsigned long win32Error) {
    output.Line(std::wstring(RowOf(ExitCode::ReportNotWritten).word) + L" \"" + path + L"\" " +
                    registration::DescribeCode(HRESULT_FROM_WIN32(win32Error), false),
                true);
}

// The whole output at once: to standard output, or to a temporary file that
// is put in place only once every byte is in it.
bool WriteWhole(const std::string& bytes, const std::wstring& target, IQuietOutput& output) {
    if (target == L"-") {
        if (output.Data(bytes))
            return true;
        Fail(output, target, ERROR_WRITE_FAULT);
        return false;
    }
    if (const auto error = WriteExportFile(bytes, target)) {
        Fail(output, target, *error);
        return false;
    }
    output.Line(L"written \"" + target + L"\"", false);
    return true;
}

} // namespace

ExportedFile ExportedFileOf(const EngineOutcome& outcome, const std::wstring& path) {
    ExportedFile file{*outcome.captured,
                      FileVersionOf(path),
                      registration::NotUnloaded(outcome)
                          ? platform::Narrow(registration::NotUnloadedText(outcome))
                          : std::string("registered"),
                      {}};
    // A component may write its own path in the short form.
    std::wstring shortPath(32768, L'\0');
    const DWORD n = ::GetShortPathNameW(file.registration.file.c_str(), shortPath.data(),
                                        static_cast<DWORD>(shortPath.size()));
    if (n > 0 && n < shortPath.size()) {
        shortPath.resize(n);
        if (shortPath != file.registration.file)
            file.shortPath = std::move(shortPath);
    }
    return file;
}

std::optional<unsigned long> WriteExportFile(const std::string& bytes, const std::wstring& target) {
    try {
        const std::size_t slash = target.rfind(L'\\') + 1;
        RemoveStaleParts(target.substr(0, slash), target.substr(slash));
        const ReportClaim claim(target.substr(0, slash), target.substr(slash),
                                ReportClaim::Mode::ThisNameOnly);
        // The writers give the file's bytes, a .reg file's mark included.
        ReportFile file(claim.Path(), ByteOrderMark::Never);
        file.WriteBytes(bytes);
        file.Commit();
    } catch (const platform::Failure& failure) {
        return static_cast<unsigned long>(failure.Record().number);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return std::nullopt;
}

std::wstring DefaultExportPath(const std::vector<std::wstring>& files,
                               std::wstring_view extension) {
    std::wstring name = L"export";
    if (!files.empty()) {
        const std::wstring& first = files.front();
        name = first.substr(first.find_last_of(L"\\/") + 1);
        if (const std::size_t dot = name.rfind(L'.'); dot != std::wstring::npos && dot > 0)
            name.resize(dot);
    }
    return platform::FullPath(name + std::wstring(extension));
}

ExitCode RunQuietExport(const Command& command, const std::vector<std::wstring>& files,
                        IQuietOutput& output) {
    const registration::ExportWriter writer = registration::WriterFor(command.exportFormat);
    if (!writer.write) {
        output.Line(std::wstring(RowOf(ExitCode::BadArguments).word) + L": -format " +
                        std::wstring(writer.name) + L" is not available in this build",
                    true);
        return ExitCode::BadArguments;
    }
    const std::wstring target = command.out == L"-"   ? std::wstring(L"-")
                                : command.out.empty() ? DefaultExportPath(files, writer.extension)
                                                      : platform::FullPath(command.out);
    // Left by a run that was killed: nobody else will take them away.
    registration::RemoveStaleScratchKeys();

    registration::RegistrationOptions options;
    options.perUser = command.perUser;
    if (command.waitSeconds)
        options.timeoutMs = command.waitSeconds * 1000;
    registration::RegistrationSession session(options);
    std::size_t prepared = 0;
    std::vector<ExportedFile> exported;
    const ExitCode code = RegisterEach(
        Operation::Export, files,
        [&](const std::wstring& path) {
            for (; prepared < files.size(); ++prepared)
                if (!registration::IsExeServer(files[prepared]) &&
                    !session.Prepare(files[prepared]))
                    break;
            const EngineOutcome outcome = RunFile(session, Operation::Export, path);
            FileOutcome result = OutcomeOf(outcome);
            // What reached the machine is not in the capture: no export of it.
            if (!outcome.captured || result.code == ExitCode::ChangedMachine)
                return result;
            ExportedFile file = ExportedFileOf(outcome, path);
            if (file.registration.keys.empty() && result.code == ExitCode::Success)
                result = {ExitCode::NothingExported,
                          L"The entry point succeeded, but wrote nothing to the registry."};
            exported.push_back(std::move(file));
            return result;
        },
        output);
    if (exported.empty()) {
        output.Line(L"nothing exported", true);
        return code;
    }
    registration::ExportOptions exportOptions;
    exportOptions.perUser = command.perUser;
    std::string bytes;
    try {
        bytes = writer.write(exported, exportOptions);
    } catch (const std::bad_alloc&) {
        Fail(output, target, ERROR_NOT_ENOUGH_MEMORY);
        return ExitCode::ReportNotWritten;
    }
    if (!WriteWhole(bytes, target, output))
        return ExitCode::ReportNotWritten;
    return code;
}

} // namespace calvorn::app
