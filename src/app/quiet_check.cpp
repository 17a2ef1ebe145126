#include "app/quiet_check.h"

#include "app/folder_records.h"
#include "app/report_output.h"
#include "app/quiet_registration.h"
#include "app/quiet_report.h"
#include "inspection/component_inspector.h"
#include "inspection/machine_changes.h"
#include "inspection/machine_registration_state.h"
#include "inspection/typelib_info.h"
#include "platform/disk_file.h"
#include "platform/error_record.h"
#include "platform/path_forms.h"
#include "platform/text.h"
#include "registration/captured_health.h"
#include "registration/registration_capture.h"
#include "registration/registrar.h"

#include <windows.h>

namespace calvorn::app {

using inspection::EntryHealth;
using inspection::EntrySource;
using platform::Narrow;

namespace {

std::wstring SourceText(const CheckedFile& file) {
    return file.source == EntrySource::TypeLibrary
               ? L"From the type library; the component's own registration code was not run."
               : L"From the component's own registration code, run in the registration host; " +
                     inspection::MachineChangesText(file.machineChanges);
}

const char* SourceWord(EntrySource source) {
    return source == EntrySource::TypeLibrary ? "type-library" : "registration-code";
}

bool Checked(const CheckedFile& file) {
    return file.failure.code == ExitCode::Success;
}

std::wstring Registration(const CheckedFile& file) {
    if (Checked(file) && file.health.verdict == inspection::Verdict::Nothing)
        return L"Not registered: the file registers nothing (no registration code, no type "
               L"library)";
    return Checked(file) ? inspection::VerdictText(file.health) : std::wstring();
}

// A file that registers nothing is, for a script, one that is not registered.
std::wstring VerdictWordOf(const CheckedFile& file) {
    if (!Checked(file))
        return {};
    return inspection::VerdictWord(file.health.verdict == inspection::Verdict::Nothing
                                       ? inspection::Verdict::NotRegistered
                                       : file.health.verdict);
}

std::string JsonText(const std::wstring& text) {
    return JsonString(Narrow(text));
}

std::string JsonEntry(const EntryHealth& e) {
    std::string missing;
    for (const std::wstring& key : e.missingKeys) {
        if (!missing.empty())
            missing += ',';
        missing += JsonText(key);
    }
    std::string line =
        "{\"kind\":" + JsonText(inspection::EntryKindWord(e.entry.kind)) +
        ",\"id\":" + JsonText(e.entry.id) + ",\"name\":" + JsonText(e.entry.name) +
        ",\"state\":" + JsonText(inspection::EntryStateWord(e.state)) +
        ",\"this_user\":" + (e.place == inspection::ClassesPlace::User ? "true" : "false") +
        ",\"other\":" + JsonText(e.other);
    if (e.otherIsFile)
        line += std::string(",\"other_exists\":") + (e.otherExists ? "true" : "false") +
                ",\"other_version\":" + JsonText(e.otherVersion);
    return line + ",\"missing\":[" + missing + "],\"fact\":" + JsonText(inspection::EntryFact(e)) +
           "}";
}

} // namespace

std::string CheckHeader(ReportFormat format) {
    return format == ReportFormat::Csv ? "path,verdict,registration,source,entries,error\r\n"
                                       : std::string();
}

std::string EncodedCheck(ReportFormat format, const CheckedFile& file) {
    const std::wstring verdict = VerdictWordOf(file);
    const std::wstring& error = file.failure.detail;
    switch (format) {
    case ReportFormat::Csv: {
        std::wstring entries;
        for (const EntryHealth& e : file.health.entries) {
            if (!entries.empty())
                entries += L"; ";
            entries += inspection::EntryLabel(e.entry) + L": " + inspection::EntryFact(e);
        }
        return CsvField(Narrow(file.path)) + "," + CsvField(Narrow(verdict)) + "," +
               CsvField(Narrow(Registration(file))) + "," +
               (Checked(file) ? SourceWord(file.source) : "") + "," + CsvField(Narrow(entries)) +
               "," + CsvField(Narrow(error)) + "\r\n";
    }
    case ReportFormat::JsonLines: {
        std::string entries;
        for (const EntryHealth& e : file.health.entries) {
            if (!entries.empty())
                entries += ',';
            entries += JsonEntry(e);
        }
        std::string changed;
        for (const std::wstring& key : file.machineChanges.value_or(std::vector<std::wstring>{})) {
            if (!changed.empty())
                changed += ',';
            changed += JsonText(key);
        }
        return "{\"path\":" + JsonText(file.path) + ",\"verdict\":" + JsonText(verdict) +
               ",\"registration\":" + JsonText(Registration(file)) +
               ",\"source\":" + JsonString(Checked(file) ? SourceWord(file.source) : "") +
               ",\"entries\":[" + entries + "],\"error\":" + JsonText(error) +
               ",\"machine_checked\":" + (file.machineChanges ? "true" : "false") +
               ",\"changed_machine\":[" + changed + "]}\n";
    }
    case ReportFormat::Text:
        break;
    }
    std::wstring block = L"File: " + VisibleText(file.path) + L"\r\n";
    if (!Checked(file)) {
        block += L"Error: " + VisibleText(error) + L"\r\n\r\n";
        return Narrow(block);
    }
    block += L"Registration: " + VisibleText(Registration(file)) + L"\r\n";
    block += file.health.verdict == inspection::Verdict::Nothing
                 ? std::wstring(L"Checked: The file has no registration code and no type "
                                L"library.\r\n")
                 : L"Checked: " + SourceText(file) + L"\r\n";
    for (const EntryHealth& e : file.health.entries)
        block += VisibleText(inspection::EntryLabel(e.entry)) + L": " +
                 VisibleText(inspection::EntryFact(e)) + L"\r\n";
    return Narrow(block + L"\r\n");
}

ExitCode ExitCodeOf(inspection::Verdict verdict) {
    return inspection::VerdictRowOf(verdict).code;
}

namespace {

CheckedFile CheckFile(const std::wstring& path, const ExpectedSource& expectedOf) {
    CheckedFile file;
    file.path = path;
    const DWORD attributes = platform::Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        const unsigned long error =
            attributes == INVALID_FILE_ATTRIBUTES ? ::GetLastError() : ERROR_DIRECTORY;
        file.failure =
            IsUnmatchedPattern(path)
                ? NoFileMatches()
                : FileOutcome{ExitCode::NotLoaded,
                              registration::DescribeCode(HRESULT_FROM_WIN32(error), false)};
        return file;
    }
    const std::optional<inspection::ExpectedRegistration> expected = expectedOf(path, file.failure);
    if (!expected)
        return file; // a failure, or nothing registered: no entries
    file.source = expected->source;
    file.machineChanges = expected->machineChanges;
    const inspection::MachineRegistrationState state(expected->is64Bit);
    file.health = inspection::CheckRegistration(*expected, state);
    return file;
}

} // namespace

std::optional<inspection::ExpectedRegistration>
ExpectedOfComponent(registration::RegistrationSession& session, const std::wstring& path,
                    FileOutcome& failure) {
    // A library file has no code: the library says what registering it writes.
    if (inspection::IsTypeLibraryFile(path)) {
        if (auto library = inspection::ExpectedFromTypeLibrary(path))
            return library;
        failure = {ExitCode::Unreadable, L"The file holds no type library that can be read."};
        return std::nullopt;
    }
    const registration::EngineOutcome outcome =
        RunFile(session, registration::Operation::Export, path);
    if (outcome.captured) {
        inspection::ExpectedRegistration expected =
            registration::ExpectedFromCapture(*outcome.captured);
        expected.machineChanges = outcome.machineChanges;
        return expected;
    }
    failure = OutcomeOf(outcome);
    if (failure.code == ExitCode::ChangedMachine)
        return std::nullopt; // no other answer hides that
    // An EXE server writes its keys only when it runs for real, and a file
    // without registration code may still carry a library that says what it
    // registers.
    if (auto fromLibrary = inspection::ExpectedFromTypeLibrary(path)) {
        fromLibrary->codeNotRun = failure.detail;
        failure = {};
        return fromLibrary;
    }
    // No registration code and no library: nothing to check, so nothing is
    // registered; the record says why.
    if (failure.code == ExitCode::Success || failure.code == ExitCode::NoEntryPoint) {
        inspection::ExpectedRegistration nothing;
        nothing.file = path;
        nothing.codeNotRun = failure.detail;
        failure = {};
        return nothing;
    }
    return std::nullopt;
}

void CheckInReport(inspection::ComponentInspector& report, const std::wstring& path) {
    report.FileName(path);
    if (path.empty()) {
        report.DisplayInfo();
        return;
    }
    std::wstring full = platform::FullPath(path);
    if (full.empty())
        full = path;
    registration::RemoveStaleScratchKeys();
    registration::RegistrationOptions options;
    options.wait = platform::WaitStyle::PumpMessages;
    registration::RegistrationSession session(options);
    FileOutcome failure;
    const std::optional<inspection::ExpectedRegistration> expected =
        ExpectedOfComponent(session, full, failure);
    report.DisplayChecked(expected, failure.detail);
}

ExitCode RunQuietCheck(const Command& command, IQuietOutput& output,
                       const ExpectedSource& expectedOf) {
    std::vector<std::wstring> files;
    for (const std::wstring& given : command.paths)
        for (std::wstring& path : ExpandPath(given))
            files.push_back(std::move(path));
    // A check answers a script: its records go to standard output unless a
    // file is named.
    Command where = command;
    if (where.out.empty())
        where.out = L"-";
    std::wstring target = OutputTarget(where.out, {});
    bool toFile = false;
    ExitCode result = ExitCode::Success;
    try {
        std::optional<ReportOutput> report;
        ReportShape shape;
        shape.header = CheckHeader(command.format);
        OpenQuietOutput(where, output, L"check", report, shape);
        target = report->Path();
        toFile = report->IsFile();
        for (const std::wstring& path : files) {
            const CheckedFile file = CheckFile(path, expectedOf);
            const bool changed = file.machineChanges && !file.machineChanges->empty();
            const ExitCode code = !Checked(file) ? file.failure.code
                                  : changed      ? ExitCode::ChangedMachine
                                                 : ExitCodeOf(file.health.verdict);
            if (code != ExitCode::Success) {
                output.Line(std::wstring(RowOf(code).word) + L" \"" + path + L"\" " +
                                (!Checked(file) ? file.failure.detail
                                 : changed      ? Registration(file) + L"; " +
                                                 inspection::MachineChangesText(file.machineChanges)
                                           : Registration(file)),
                            true);
                if (result == ExitCode::Success)
                    result = code;
            }
            report->WriteEncoded(EncodedCheck(command.format, file));
        }
        report->Commit();
    } catch (const platform::Failure& failure) {
        output.Line(OutputFailureLine(target, failure.Record()), true);
        return ExitCode::ReportNotWritten;
    } catch (const std::bad_alloc&) {
        output.Line(OutputFailureLine(target, ERROR_NOT_ENOUGH_MEMORY), true);
        return ExitCode::ReportNotWritten;
    }
    if (toFile)
        output.Line(L"written \"" + target + L"\"", false);
    return result;
}

} // namespace calvorn::app
