#pragma once
// Where a report goes and how its file is written, apart from what the
// report says: the text report and any other format share these.
//
// A report is built under a temporary name beside its place ("<name>.<process
// id>.part") and put in place whole, so the file never holds half a block.
// Several reports may run at once: each takes a name no other running report
// holds, and none ever deletes a file it did not create (except the
// temporary file of a run that was killed before it could tidy up).

#include "platform/error_record.h"
#include "platform/unique_handle.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace calvorn::app {

// The record of a failure on a path, its description naming the path, so the
// user learns which file or folder the report could not use.
platform::ErrorRecord PathError(unsigned long code, const std::wstring& path);

// The folder of the report, ending in "\": CALVORN_REPORT_DIR when set (used
// as given), otherwise the user's local application-data folder "Calvorn"
// (created when missing), otherwise, when that cannot be had (a file of that
// name in the way, no rights), the user's temporary folder.
std::wstring ReportFolder();

// Deletes the temporary files that killed runs left in the folder for the
// report `name` (and for its per-run names, see ReportClaim). A file whose
// run is still alive is kept: its process still exists, and the run holds the
// file open without leave to delete it. Files of any other name are not
// touched: the temporary folder is everyone's.
void RemoveStaleParts(const std::wstring& folder, const std::wstring& name);

// The code of the failure just seen; a call that failed without setting one
// still fails, with `fallback`, never as "error 0".
unsigned long LastErrorOr(unsigned long fallback);

// The Win32 code of one WriteFile call's outcome, ERROR_SUCCESS when every
// byte was written. A call that succeeded but wrote fewer bytes than asked
// found the disk full.
unsigned long WriteFailureCode(bool succeeded, unsigned long asked, unsigned long written,
                               unsigned long lastError);

// "<stem> (partial)<ext>": where a cancelled report keeps what it finished,
// beside the complete report of an earlier run rather than over it.
std::wstring PartialReportName(const std::wstring& name);

// A report name held for the rest of the process, claimed by the file's
// identity (its folder's final path and file ID, and the name in one case),
// so every spelling of one file is one claim: `name` when no other running
// report holds it, else "<stem> (2)<ext>", "<stem> (3)<ext>" ... A
// run that ends (or is killed) lets go of its name, so the next run writes
// `name` again.
class ReportClaim {
  public:
    enum class Mode {
        NextFreeName,
        // A name the user chose: held by another run, it is refused with
        // ERROR_SHARING_VIOLATION rather than changed.
        ThisNameOnly,
    };
    // Throws a platform::Failure naming the folder when it cannot be opened
    // or every name is taken.
    ReportClaim(const std::wstring& folder, const std::wstring& name,
                Mode mode = Mode::NextFreeName);
    const std::wstring& Path() const { return path_; }

  private:
    std::wstring path_;
    std::vector<platform::UniqueHandle> mutexes_;
};

// Whether a byte-order mark goes in front of the text.
enum class ByteOrderMark {
    // Only when the text holds a character beyond ASCII: a report in plain
    // ASCII stays byte for byte what it always was, any other is marked so
    // that every editor reads it as UTF-8.
    WhenNeeded,
    Never,
};

// The report file under construction, written in UTF-8. Dropped without
// Commit, it removes its temporary file and nothing else. Failures throw a
// platform::Failure whose description names the path.
class ReportFile {
  public:
    explicit ReportFile(std::wstring path, ByteOrderMark mark = ByteOrderMark::WhenNeeded);
    ~ReportFile();
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    void Write(std::wstring_view text);
    // Text already in UTF-8, under the same rule for the mark.
    void WriteBytes(std::string_view bytes);
    // Puts the file in place, replacing one of the same name.
    void Commit();
    // Puts the file in place under another name (in the same folder).
    void CommitAs(const std::wstring& path);
    const std::wstring& Path() const { return path_; }

  private:
    void Append(std::string_view bytes);
    void PutMarkInFront();

    std::wstring path_;
    std::wstring temporary_;
    platform::UniqueFile file_;
    ByteOrderMark mark_;
    bool marked_ = false;
    std::uint64_t written_ = 0;
    bool committed_ = false;
};

} // namespace calvorn::app
