#pragma once
// Where one run of the folder report writes its records, whichever front-end
// started it: a file in the format asked for, claimed under a name no other
// running report holds, or standard output.

#include "app/command_line.h"
#include "app/console_output.h"
#include "app/folder_records.h"
#include "app/report_file.h"
#include "platform/error_record.h"

#include <optional>
#include <string>

namespace calvorn::app {

// The bytes of one record in a format, and what goes before the first.
std::string EncodedRecord(ReportFormat format, const FolderRecord& record,
                          const ReportColumns& columns = {});
std::string EncodedHeader(ReportFormat format, const ReportColumns& columns = {});

// What "-out <given>" names. "-" is standard output. A device name (in any
// folder, with any extension, as the system reads it) is no file: NUL
// discards, the others are refused with the reason.
enum class OutputPlace { StandardOutput, Discard, File };
// Throws a platform::Failure (ERROR_INVALID_NAME, its description the
// reason) for a device other than NUL.
OutputPlace PlaceOf(const std::wstring& given);

// "report-not-written "<path>" 0x80070070: There is not enough space on the
// disk." with the failure's own reason where it has one; standard output is
// named as such.
std::wstring OutputFailureLine(const std::wstring& path, const platform::ErrorRecord& record);
std::wstring OutputFailureLine(const std::wstring& path, unsigned long win32Error);

// What a run writes besides the records' fields.
struct ReportShape {
    ReportColumns columns;
    // A UTF-8 byte-order mark before the CSV: spreadsheets that open a file
    // by a double-click read it in the system's code page without one.
    bool byteOrderMark = false;
    // What goes before the first record when it is not the folder report's
    // own header (another report's, in the same format).
    std::optional<std::string> header;
    // The bytes go out as given: no header, never a mark (an export's file
    // is whole in the writer's bytes).
    bool asGiven = false;
};

class ReportOutput {
  public:
    // To the file `name` in `folder` (ending in "\"): the temporary files
    // that killed runs left for that name are swept first, then the name is
    // claimed (or the next free one, see ReportClaim). Throws a
    // platform::Failure naming the path when the file cannot be made.
    // `header` goes before the first record in place of the folder report's.
    ReportOutput(ReportFormat format, const std::wstring& folder, const std::wstring& name,
                 ReportClaim::Mode mode, const ReportShape& shape = {});
    // To standard output; nothing is claimed, and standard output is
    // reserved for the data.
    ReportOutput(ReportFormat format, IQuietOutput& output, const ReportShape& shape = {});
    // Nowhere ("-out NUL"): every write succeeds and nothing is kept.
    struct Discarded {};
    ReportOutput(ReportFormat format, Discarded, const ReportShape& shape = {});
    ReportOutput(const ReportOutput&) = delete;
    ReportOutput& operator=(const ReportOutput&) = delete;

    // Throws a platform::Failure when the record cannot be written.
    void Write(const FolderRecord& record);
    // A record another report encoded in this format.
    void WriteEncoded(const std::string& bytes) { WriteBytes(bytes); }
    // The file's place ("-" for standard output, "NUL" when discarded).
    const std::wstring& Path() const;
    // Whether a file is written ("written" is said of it), not standard
    // output or nowhere.
    bool IsFile() const { return claim_.has_value(); }
    // Puts the file in place whole; nothing to do for standard output.
    void Commit();
    // Puts the file in place under another name in the same folder.
    void CommitAs(const std::wstring& path);

  private:
    void WriteBytes(const std::string& bytes);

    ReportFormat format_;
    ReportShape shape_;
    IQuietOutput* output_ = nullptr;
    bool discarded_ = false;
    std::optional<ReportClaim> claim_;
    std::optional<ReportFile> file_;
    std::wstring standardOutput_ = L"-";
    std::wstring discard_ = L"NUL";
};

} // namespace calvorn::app
