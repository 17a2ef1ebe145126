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

#include "files/colFiles_Vask.h"
#include "inspection/clsFileInfo.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace calvorn::app {

void CreateReport(const std::wstring& sFolder);
// Opens the file with the shell's "Open" verb and waits (a few seconds at
// most) until the program that opens it is ready for input, so that it has
// read the report before this run lets go of the name; failures show
// nothing. With CALVORN_OPEN_LOG set, the path is appended to that file
// instead.
void OpenDocument(const std::wstring& sPath);

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

// True when the name's last four characters are .DLL, .OCX or .EXE in any case.
bool IsReportedFile(const std::wstring& fileName);
// The full names of the listed files that qualify, in the list's order.
std::vector<std::wstring> ReportedFiles(const files::colFiles_Vask& list);

// What the report says about one file, whatever the format it is written in.
struct ReportRecord {
    std::wstring fileName; // the full name
    inspection::clsFileInfo fields;
    // The system's text for why the file could not be read (fields.ReadError,
    // or a failure while reading it); empty when it was read, with or
    // without version information.
    std::wstring error;
};

// A value as one line of the text report: CR, LF and tab become "\r", "\n"
// and "\t", any other control character "\x" and two hex digits, the
// Unicode line and paragraph separators "\u2028" and "\u2029". A backslash
// stays as it is, since paths are full of them: "\n" in the text report may
// also be those two characters of the value (the CSV and JSON reports keep
// every value exact).
std::wstring VisibleText(std::wstring_view value);

// The system's words for why a file could not be read ("error <n>" when it
// has none).
std::wstring ReadErrorText(std::uint32_t code);

// The error text of a file whose read threw: the failure's own description,
// or the system's words for what went wrong.
std::wstring ReadFailureText(std::exception_ptr failure);

// One file's block of text, its closing line end included, every value on
// its one line (see VisibleText). An unreadable file gets a line
// "Error: <why>" right after its "File: " line.
std::wstring FormatReportBlock(const ReportRecord& record);

// Fills the version fields of one file; the program uses SelectFile.
using VersionLookup = std::function<void(inspection::clsFileInfo& info, const std::wstring& path)>;
// Takes one finished record; throws a platform::Failure when it cannot.
using RecordWriter = std::function<void(const ReportRecord& record)>;

enum class ReportEnd { Completed, Cancelled };

// The report's walk over the folder: shows the progress, lists the folder's
// files, hands the record of each qualifying one to `write` and hides the
// progress again. `cancel` is read after every file. A failure is passed on
// with the progress left as it was.
ReportEnd WriteReport(const std::wstring& sFolder, IReportProgress& progress,
                      const VersionLookup& lookup, const bool& cancel, const RecordWriter& write);

} // namespace calvorn::app
