#include "app/report_output.h"

#include "platform/error_record.h"
#include "platform/text.h"

#include <windows.h>

namespace calvorn::app {

using platform::Failure;

std::string EncodedRecord(ReportFormat format, const FolderRecord& record) {
    switch (format) {
    case ReportFormat::Csv:
        return CsvRow(record);
    case ReportFormat::JsonLines:
        return JsonLine(record);
    case ReportFormat::Text:
        break;
    }
    return platform::Narrow(FormatReportBlock(record));
}

std::string EncodedHeader(ReportFormat format) {
    return format == ReportFormat::Csv ? CsvHeader() : std::string();
}

ReportOutput::ReportOutput(ReportFormat format, const std::wstring& folder,
                           const std::wstring& name, ReportClaim::Mode mode,
                           std::optional<std::string> header)
    : format_(format) {
    RemoveStaleParts(folder, name);
    claim_.emplace(folder, name, mode);
    // The machine-readable formats are plain UTF-8 without a mark.
    file_.emplace(claim_->Path(),
                  format == ReportFormat::Text ? ByteOrderMark::WhenNeeded : ByteOrderMark::Never);
    WriteBytes(header ? *header : EncodedHeader(format));
}

ReportOutput::ReportOutput(ReportFormat format, IQuietOutput& output,
                           std::optional<std::string> header)
    : format_(format), output_(&output) {
    WriteBytes(header ? *header : EncodedHeader(format));
}

void ReportOutput::WriteBytes(const std::string& bytes) {
    if (bytes.empty())
        return;
    if (file_)
        file_->WriteBytes(bytes);
    else if (!output_->Data(bytes))
        throw Failure(platform::Win32Error(ERROR_WRITE_FAULT));
}

void ReportOutput::Write(const FolderRecord& record) {
    WriteBytes(EncodedRecord(format_, record));
}

const std::wstring& ReportOutput::Path() const {
    return claim_ ? claim_->Path() : standardOutput_;
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
