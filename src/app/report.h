#pragma once
// The folder report: one block of version fields for every DLL, OCX and EXE
// of a folder, written to a text file that is then opened with the shell.
//
// The file is "output.txt" in a folder the user can always write (see
// ReportFolder). It is built under a temporary name and put in place whole,
// so the file never holds half a block; a cancelled report keeps the blocks
// finished so far and is not opened, a failed one leaves no report at all.

#include "platform/unique_handle.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace calvorn::inspection {
class clsFileInfo;
}

namespace calvorn::app {

void CreateReport(const std::wstring& sFolder);
// Opens the file with the shell's "Open" verb; failures show nothing.
// With CALVORN_OPEN_LOG set, the path is appended to that file instead.
void OpenDocument(const std::wstring& sPath);

// The folder of the report, ending in "\": CALVORN_REPORT_DIR when set,
// otherwise the user's local application-data folder "Calvorn" (created when
// missing), otherwise the user's temporary folder.
std::wstring ReportFolder();

// The report file under construction: a temporary file beside it that
// replaces it whole on Commit. Dropped without Commit, it takes the report
// of an earlier run with it, so no stale or partial file passes for this
// run's. Write takes the text in the ANSI code page. Failures throw a
// platform::Failure.
class ReportFile {
  public:
    explicit ReportFile(std::wstring path);
    ~ReportFile();
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    void Write(const std::wstring& text);
    // Bytes as they are: the machine-readable formats bring their own UTF-8.
    void WriteBytes(std::string_view bytes);
    void Commit();

  private:
    std::wstring path_;
    std::wstring temporary_;
    platform::UniqueFile file_;
    bool committed_ = false;
};

// What the report drives of its progress window; tests supply a fake.
class IReportProgress {
  public:
    virtual ~IReportProgress() = default;
    // Shows the window and lets pending window messages through once.
    virtual void Show() = 0;
    virtual void Max(std::int32_t value) = 0;
    virtual void Value(std::int32_t value) = 0;
    virtual void CurrentFile(const std::wstring& nameAndExtension) = 0;
    // Lets pending window messages through once: repaints, a click on Cancel.
    virtual void PumpMessages() = 0;
    virtual void Hide() = 0;
};

// True when the name's last four characters are .DLL, .OCX or .EXE in any case.
bool IsReportedFile(const std::wstring& fileName);
// One file's block, its closing line end included.
std::wstring FormatReportBlock(const std::wstring& fileName, const inspection::clsFileInfo& info);

// Fills the version fields of one file; the program uses SelectFile.
using VersionLookup = std::function<void(inspection::clsFileInfo& info, const std::wstring& path)>;
// Takes one finished block; throws a platform::Failure when it cannot.
using BlockWriter = std::function<void(const std::wstring& block)>;

enum class ReportEnd { Completed, Cancelled };

// The report's walk over the folder: shows the progress, lists the folder's
// files, writes the block of each qualifying one and hides the progress
// again. `cancel` is read after every file. A failure is passed on with the
// progress left as it was.
ReportEnd WriteReport(const std::wstring& sFolder, IReportProgress& progress,
                      const VersionLookup& lookup, const bool& cancel, const BlockWriter& write);

} // namespace calvorn::app
