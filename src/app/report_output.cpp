#include "app/report_output.h"

#include "platform/error_record.h"
#include "platform/text.h"

#include <windows.h>

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

std::string Preamble(ReportFormat format, const ReportShape& shape) {
    if (shape.header)
        return *shape.header;
    const bool mark = shape.byteOrderMark && format == ReportFormat::Csv;
    return (mark ? std::string("\xEF\xBB\xBF") : std::string()) +
           EncodedHeader(format, shape.columns);
}

} // namespace

ReportOutput::ReportOutput(ReportFormat format, const std::wstring& folder,
                           const std::wstring& name, ReportClaim::Mode mode,
                           const ReportShape& shape)
    : format_(format), shape_(shape) {
    RemoveStaleParts(folder, name);
    claim_.emplace(folder, name, mode);
    // The machine-readable formats are plain UTF-8, marked only when asked.
    file_.emplace(claim_->Path(),
                  format == ReportFormat::Text ? ByteOrderMark::WhenNeeded : ByteOrderMark::Never);
    WriteBytes(Preamble(format, shape));
}

ReportOutput::ReportOutput(ReportFormat format, IQuietOutput& output, const ReportShape& shape)
    : format_(format), shape_(shape), output_(&output) {
    WriteBytes(Preamble(format, shape));
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
    WriteBytes(EncodedRecord(format_, record, shape_.columns));
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
