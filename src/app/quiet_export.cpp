#include "app/quiet_export.h"

#include "app/folder_records.h"
#include "app/quiet_registration.h"
#include "app/quiet_report.h"
#include "app/report_file.h"
#include "app/report_output.h"
#include "inspection/pe_version_reader.h"
#include "platform/error_record.h"
#include "platform/path_forms.h"
#include "platform/text.h"
#include "registration/export/export_writer.h"
#include "registration/registrar.h"
#include "registration/registration_capture.h"

#include <windows.h>

#include <algorithm>
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

// Holds the lines that say a file was exported, and the summary that counts
// them, until the output that holds them is written: a file is said to be
// exported only once it is. Failures go out as they happen.
class HeldLines final : public IQuietOutput {
  public:
    explicit HeldLines(IQuietOutput& output) : output_(output) {}
    void Line(const std::wstring& text, bool failure) override {
        if (failure)
            output_.Line(text, true);
        else
            held_.push_back(text);
    }
    unsigned long Data(std::string_view utf8) override { return output_.Data(utf8); }
    void ReserveStandardOutput() override { output_.ReserveStandardOutput(); }
    void Release() {
        for (const std::wstring& line : held_)
            output_.Line(line, false);
        held_.clear();
    }

  private:
    IQuietOutput& output_;
    std::vector<std::wstring> held_;
};

// The summary when the output failed: nothing reached it.
std::wstring NothingWritten(std::size_t files) {
    return std::to_wstring(files) + (files == 1 ? L" file: " : L" files: ") + L"0 succeeded, " +
           std::to_wstring(files) + L" failed";
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
    // Named after the first file there is: a pattern that matched nothing
    // is no name for a file.
    std::wstring name = L"export";
    const auto first = std::find_if(files.begin(), files.end(), [](const std::wstring& path) {
        return !IsUnmatchedPattern(path);
    });
    if (first != files.end()) {
        name = first->substr(first->find_last_of(L"\\/") + 1);
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
    // The output is opened, and a file's name claimed, before any component
    // runs: an output that cannot be written is found before the work.
    std::wstring target = OutputTarget(command.out, DefaultExportPath(files, writer.extension));
    std::optional<ReportOutput> report;
    try {
        ReportShape shape;
        shape.asGiven = true;
        OpenOutput(command.out, target, ReportClaim::Mode::ThisNameOnly, ReportFormat::Text, output,
                   report, shape);
    } catch (const platform::Failure& failure) {
        output.Line(OutputFailureLine(target, failure.Record()), true);
        return ExitCode::ReportNotWritten;
    }
    target = report->Path();
    // Left by a run that was killed: nobody else will take them away.
    registration::RemoveStaleScratchKeys();

    registration::RegistrationOptions options;
    options.perUser = command.perUser;
    if (command.waitSeconds)
        options.timeoutMs = command.waitSeconds * 1000;
    registration::RegistrationSession session(options);
    std::size_t prepared = 0;
    std::vector<ExportedFile> exported;
    HeldLines held(output);
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
        held);
    if (exported.empty()) {
        held.Release();
        output.Line(L"nothing exported", true);
        return code;
    }
    registration::ExportOptions exportOptions;
    exportOptions.perUser = command.perUser;
    try {
        report->WriteEncoded(writer.write(exported, exportOptions));
        report->Commit();
    } catch (const registration::UnwritableName& refused) {
        output.Line(OutputFailureLine(target, ERROR_INVALID_DATA) + L" (\"" +
                        VisibleText(refused.Entry()) + L"\" " + refused.Reason() +
                        L"; nothing was written)",
                    true);
        output.Line(NothingWritten(files.size()), false);
        return ExitCode::ReportNotWritten;
    } catch (const platform::Failure& failure) {
        output.Line(OutputFailureLine(target, failure.Record()), true);
        output.Line(NothingWritten(files.size()), false);
        return ExitCode::ReportNotWritten;
    } catch (const std::bad_alloc&) {
        output.Line(OutputFailureLine(target, ERROR_NOT_ENOUGH_MEMORY), true);
        output.Line(NothingWritten(files.size()), false);
        return ExitCode::ReportNotWritten;
    }
    held.Release();
    if (report->IsFile())
        output.Line(L"written \"" + target + L"\"", false);
    return code;
}

} // namespace calvorn::app
