#include "app/quiet_report.h"

#include "app/folder_records.h"
#include "app/report.h"
#include "app/report_file.h"
#include "files/colFiles_Vask.h"
#include "platform/error_record.h"
#include "platform/read_ahead.h"
#include "registration/registration_engine.h"

#include <windows.h>

#include <memory>

namespace calvorn::app {

using platform::Failure;

namespace {

std::wstring FullPath(const std::wstring& given) {
    DWORD need = ::GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    if (!need)
        return given;
    std::wstring full(need, L'\0');
    DWORD got = ::GetFullPathNameW(given.c_str(), need, full.data(), nullptr);
    full.resize(got < need ? got : 0);
    return full.empty() ? given : full;
}

// One file's record, or its error when reading it threw: a damaged file is
// one unreadable file, and the report goes on.
FolderRecord TakeRecord(platform::OrderedReadAhead<FolderRecord>& records, std::size_t k,
                        const std::wstring& path) {
    try {
        return records.Take(k);
    } catch (...) {
        FolderRecord record;
        record.path = path;
        record.error = ReadFailureText(std::current_exception());
        return record;
    }
}

std::string Encode(ReportFormat format, const FolderRecord& record) {
    switch (format) {
    case ReportFormat::Csv:
        return CsvRow(record);
    case ReportFormat::JsonLines:
        return JsonLine(record);
    case ReportFormat::Text:
        break;
    }
    return Utf8(FormatReportBlock(ReportRecord{record.path, record.info, record.error}));
}

const wchar_t* ExtensionOf(ReportFormat format) {
    switch (format) {
    case ReportFormat::Csv:
        return L".csv";
    case ReportFormat::JsonLines:
        return L".jsonl";
    case ReportFormat::Text:
        break;
    }
    return L".txt";
}

void Fail(IQuietOutput& output, const std::wstring& path, unsigned long win32Error) {
    output.Line(std::wstring(RowOf(ExitCode::ReportNotWritten).word) + L" \"" + path + L"\" " +
                    registration::DescribeCode(HRESULT_FROM_WIN32(win32Error), false),
                true);
}

} // namespace

FolderRecord ReadFolderRecord(const std::wstring& path) {
    FolderRecord record;
    record.path = path;
    record.info.SelectFile(path);
    if (record.info.ReadError) {
        record.error = ReadErrorText(record.info.ReadError);
        return record;
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        // Gone between its read and this look: no size or date to tell.
        record.info = {};
        record.error = ReadErrorText(::GetLastError());
        return record;
    }
    record.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    record.lastWrite = (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                       data.ftLastWriteTime.dwLowDateTime;
    return record;
}

std::wstring DefaultReportPath(ReportFormat format) {
    return ReportFolder() + L"output" + ExtensionOf(format);
}

ExitCode RunQuietReport(const Command& command, IQuietOutput& output) {
    const std::wstring folder = FullPath(command.path);
    DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        Fail(output, folder,
             attributes == INVALID_FILE_ATTRIBUTES ? ::GetLastError() : ERROR_DIRECTORY);
        return ExitCode::ReportNotWritten;
    }
    const bool toStandardOutput = command.out == L"-";
    std::wstring target = toStandardOutput      ? std::wstring(L"-")
                          : command.out.empty() ? DefaultReportPath(command.format)
                                                : FullPath(command.out);
    std::size_t unreadable = 0;
    try {
        std::unique_ptr<ReportClaim> claim;
        std::unique_ptr<ReportFile> file;
        if (!toStandardOutput) {
            // Split at the last backslash only: "-out report" has no
            // extension, and gets none.
            const std::size_t slash = target.rfind(L'\\') + 1;
            const std::wstring place = target.substr(0, slash);
            const std::wstring name = target.substr(slash);
            RemoveStaleParts(place, name);
            // Runs at the same time each write a report of their own: the
            // usual place gives each its own name, a name the user chose
            // is refused while another run writes it.
            claim = std::make_unique<ReportClaim>(place, name,
                                                  command.out.empty()
                                                      ? ReportClaim::Mode::NextFreeName
                                                      : ReportClaim::Mode::ThisNameOnly);
            target = claim->Path();
            // The machine-readable formats are plain UTF-8 without a mark.
            file = std::make_unique<ReportFile>(target, command.format == ReportFormat::Text
                                                            ? ByteOrderMark::WhenNeeded
                                                            : ByteOrderMark::Never);
        }
        auto write = [&](const std::string& bytes) {
            if (file)
                file->WriteBytes(bytes);
            else if (!output.Data(bytes))
                throw Failure(platform::Win32Error(ERROR_WRITE_FAULT));
        };

        if (command.format == ReportFormat::Csv)
            write(CsvHeader());
        files::colFiles_Vask list;
        list.LoadFiles(files::EnsureSuffix(folder, L"\\") + L"*.*", command.subfolders);
        const std::vector<std::wstring> reported = ReportedFiles(list);
        // Read ahead of the writing, on a few threads: see read_ahead.h.
        platform::OrderedReadAhead<FolderRecord> records(
            reported.size(), [&](std::size_t k) { return ReadFolderRecord(reported[k]); });
        for (std::size_t k = 0; k < reported.size(); ++k) {
            const FolderRecord record = TakeRecord(records, k, reported[k]);
            if (!record.error.empty()) {
                ++unreadable;
                output.Line(std::wstring(RowOf(ExitCode::Unreadable).word) + L" \"" + record.path +
                                L"\" " + VisibleText(record.error),
                            true);
            }
            write(Encode(command.format, record));
        }
        if (file)
            file->Commit();
    } catch (const Failure& failure) {
        Fail(output, target, static_cast<unsigned long>(failure.Record().number));
        return ExitCode::ReportNotWritten;
    } catch (const std::bad_alloc&) {
        Fail(output, target, ERROR_NOT_ENOUGH_MEMORY);
        return ExitCode::ReportNotWritten;
    } catch (...) {
        Fail(output, target, ERROR_INTERNAL_ERROR);
        return ExitCode::ReportNotWritten;
    }
    if (!toStandardOutput)
        output.Line(L"written \"" + target + L"\"", false);
    if (unreadable == 0)
        return ExitCode::Success;
    output.Line(std::to_wstring(unreadable) + (unreadable == 1 ? L" file" : L" files") +
                    L" could not be read",
                true);
    return ExitCode::Unreadable;
}

} // namespace calvorn::app
