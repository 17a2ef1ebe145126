#pragma once
// The folder report: one record of version fields for every DLL, OCX and
// EXE of a folder, written as a block of text to a file that is then opened
// with the shell.
//
// The file is "output.txt" in a folder the user can always write, or a name
// of its own while another run holds that one (see report_file.h). A
// cancelled report keeps the blocks finished so far and is not opened; a
// failed one is not opened either and removes nothing but its own temporary
// file.

#include "app/folder_records.h"
#include "files/folder_listing.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace calvorn::app {

void CreateReport(const std::wstring& sFolder);
// Opens the file with the shell's "Open" verb and waits (a few seconds at
// most) until the program that opens it is ready for input, so that it has
// read the report before this run lets go of the name. With
// CALVORN_OPEN_LOG set, the path is appended to that file instead. Shows
// nothing: the reason when it could not be opened (no program for the
// file's type, for one), for the caller to tell.
std::optional<std::wstring> OpenDocument(const std::wstring& sPath);

// Why a folder cannot be reported on, in a sentence naming it; nothing when
// it is a folder.
std::optional<std::wstring> FolderProblem(const std::wstring& folder);

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

// The kinds of file a report takes: .dll, .ocx and .exe, the extensions
// added (lower case, with their dot), and with `all` every file that is a
// module by its content (the reader tells, see FolderRecord::excluded).
struct FileTypes {
    std::vector<std::wstring> extra;
    bool all = false;
};

// True when the name's last four characters are .DLL, .OCX or .EXE in any case.
bool IsReportedFile(const std::wstring& fileName);
// ... or it ends in one of the extensions added, in any case.
bool IsReportedFile(const std::wstring& fileName, const FileTypes& types);
// The full names of the listed files to be read, in the list's order.
std::vector<std::wstring> ReportedFiles(const std::vector<std::wstring>& listed,
                                        const FileTypes& types = {});

// The system's words for why a file could not be read ("error <n>" when it
// has none).
std::wstring ReadErrorText(std::uint32_t code);

// The error text of a file whose read threw: the failure's own description,
// or the system's words for what went wrong.
std::wstring ReadFailureText(std::exception_ptr failure);

// Reads one file's record: its version fields, size and last write, or the
// system's text for why it could not be read (locked, gone since the folder
// was listed) with no size or date. The program uses ReadInventoryRecord.
using RecordReader = std::function<FolderRecord(const std::wstring& path)>;
// Takes one finished record; throws a platform::Failure when it cannot.
using RecordWriter = std::function<void(const FolderRecord& record)>;

enum class ReportEnd { Completed, Cancelled };

// What a walk goes over: the folder, and with `subfolders` every folder
// under it.
struct FolderWalk {
    std::wstring folder;
    bool subfolders = false;
    FileTypes types = {};
};

// The one walk of every folder report, with or without a window: shows the
// progress, lists the files, hands the record of each qualifying one to
// `write` (a file whose read throws is that file's error, and the walk goes
// on) and hides the progress again. `cancel` is read after every file. A
// failure is passed on with the progress left as it was.
ReportEnd WriteReport(const FolderWalk& walk, IReportProgress& progress, const RecordReader& read,
                      const bool& cancel, const RecordWriter& write);

// What the progress window says it is doing.
struct ProgressTask {
    std::wstring title = L"Creating ActiveX Report";
    std::wstring itemLabel = L"Current file:";
    std::wstring countWord = L"File";
};
// The progress window as the folder report drives it (a click on Cancel sets
// the application's cancel flag), saying what `task` does.
std::unique_ptr<IReportProgress> WindowProgress(ProgressTask task = {});

// The progress of a run without a window: nothing to show.
class NoProgress final : public IReportProgress {
  public:
    void Show() override {}
    void Max(std::int32_t) override {}
    void Value(std::int32_t) override {}
    void CurrentFile(const std::wstring&) override {}
    void PumpMessages() override {}
    void Hide() override {}
};

} // namespace calvorn::app
