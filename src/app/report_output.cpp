#include "app/report_output.h"

#include "app/exit_codes.h"
#include "platform/error_record.h"
#include "platform/path_forms.h"
#include "platform/text.h"
#include "registration/registration_engine.h"

#include <windows.h>

#include <cwctype>

namespace calvorn::app {

using platform::Failure;

std::string EncodedRecord(ReportFormat format, const FolderRecord& record,
                          const ReportColumns& columns) {
    switch (format) {
    case ReportFormat::Csv:
        return CsvRow(record, columns);
    case ReportFormat::JsonLines:
        return JsonLine(record, columns);
    case ReportFormat::Text:
        break;
    }
    return platform::Narrow(FormatReportBlock(record));
}

std::string EncodedHeader(ReportFormat format, const ReportColumns& columns) {
    return format == ReportFormat::Csv ? CsvHeader(columns) : std::string();
}

namespace {

// Marks a failure whose description is the program's own reason, beside
// the system's words for its code.
const wchar_t kOwnReason[] = L"-out";

// The device a file name stands for, upper case ("CON" for "con.txt  "), or
// nothing: the system reads these names as devices in any folder and with
// any extension.
std::wstring DeviceOf(const std::wstring& path) {
    std::wstring name = path.substr(path.find_last_of(L"\\/:") + 1);
    name = name.substr(0, name.find(L'.'));
    while (!name.empty() && name.back() == L' ')
        name.pop_back();
    for (wchar_t& c : name)
        c = static_cast<wchar_t>(std::towupper(c));
    static const wchar_t* const kDevices[] = {L"CON",    L"PRN",     L"AUX",   L"NUL",
                                              L"CONIN$", L"CONOUT$", L"CLOCK$"};
    for (const wchar_t* device : kDevices)
        if (name == device)
            return name;
    const bool numbered = name.size() == 4 &&
                          (name.starts_with(L"COM") || name.starts_with(L"LPT")) &&
                          name[3] >= L'0' && name[3] <= L'9';
    return numbered ? name : std::wstring();
}

std::string Preamble(ReportFormat format, const ReportShape& shape) {
    if (shape.asGiven)
        return {};
    if (shape.header)
        return *shape.header;
    const bool mark = shape.byteOrderMark && format == ReportFormat::Csv;
    return (mark ? std::string("\xEF\xBB\xBF") : std::string()) +
           EncodedHeader(format, shape.columns);
}

} // namespace

OutputPlace PlaceOf(const std::wstring& given) {
    if (given == L"-")
        return OutputPlace::StandardOutput;
    // "\\.\<name>" is the device namespace itself.
    const bool deviceSpace = given.starts_with(L"\\\\.\\") || given.starts_with(L"//./");
    std::wstring device = DeviceOf(given);
    if (deviceSpace && device.empty())
        device = given.substr(4);
    if (device.empty())
        return OutputPlace::File;
    if (device == L"NUL")
        return OutputPlace::Discard;
    platform::ErrorRecord record = platform::Win32Error(ERROR_INVALID_NAME, kOwnReason);
    record.description = L"\"" + device +
                         L"\" is a device, not a file: -out - writes to standard output, -out NUL "
                         L"discards the output";
    throw platform::Failure(record);
}

std::wstring OutputFailureLine(const std::wstring& path, const platform::ErrorRecord& record) {
    std::wstring line =
        std::wstring(RowOf(ExitCode::ReportNotWritten).word) +
        (path == L"-" ? std::wstring(L" standard output ") : L" \"" + path + L"\" ") +
        registration::DescribeCode(HRESULT_FROM_WIN32(record.number), false);
    if (record.source == kOwnReason)
        line += L" (" + record.description + L")";
    return line;
}

std::wstring OutputFailureLine(const std::wstring& path, unsigned long win32Error) {
    return OutputFailureLine(path, platform::Win32Error(win32Error));
}

ReportOutput::ReportOutput(ReportFormat format, const std::wstring& folder,
                           const std::wstring& name, ReportClaim::Mode mode,
                           const ReportShape& shape)
    : format_(format), shape_(shape) {
    claim_.emplace(folder, name, mode);
    RemoveStaleParts(folder, name);
    // What would fail only after all the work: a folder of that name, or a
    // file that may not be replaced (read-only, no right, held open).
    const std::wstring target = platform::ExtendedPath(claim_->Path());
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            platform::ErrorRecord record = platform::Win32Error(ERROR_ACCESS_DENIED, kOwnReason);
            record.description = L"a folder of that name is there";
            throw Failure(record);
        }
        platform::UniqueFile existing(
            ::CreateFileW(target.c_str(), DELETE | FILE_WRITE_DATA,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!existing || (attributes & FILE_ATTRIBUTE_READONLY))
            throw Failure(PathError(
                existing ? ERROR_ACCESS_DENIED : LastErrorOr(ERROR_ACCESS_DENIED), claim_->Path()));
    }
    // The machine-readable formats are plain UTF-8, marked only when asked.
    file_.emplace(claim_->Path(), format == ReportFormat::Text && !shape.asGiven
                                      ? ByteOrderMark::WhenNeeded
                                      : ByteOrderMark::Never);
    WriteBytes(Preamble(format, shape));
}

ReportOutput::ReportOutput(ReportFormat format, IQuietOutput& output, const ReportShape& shape)
    : format_(format), shape_(shape), output_(&output) {
    output.ReserveStandardOutput();
    WriteBytes(Preamble(format, shape));
}

ReportOutput::ReportOutput(ReportFormat format, Discarded, const ReportShape& shape)
    : format_(format), shape_(shape), discarded_(true) {}

void ReportOutput::WriteBytes(const std::string& bytes) {
    if (bytes.empty() || discarded_)
        return;
    if (file_)
        file_->WriteBytes(bytes);
    else if (const unsigned long error = output_->Data(bytes); error != ERROR_SUCCESS)
        throw Failure(platform::Win32Error(error));
}

void ReportOutput::Write(const FolderRecord& record) {
    WriteBytes(EncodedRecord(format_, record, shape_.columns));
}

const std::wstring& ReportOutput::Path() const {
    return claim_ ? claim_->Path() : discarded_ ? discard_ : standardOutput_;
}

void ReportOutput::Commit() {
    if (file_)
        file_->Commit();
}

void ReportOutput::CommitAs(const std::wstring& path) {
    if (file_)
        file_->CommitAs(path);
}

} // namespace calvorn::app
