#include "app/report.h"

#include "app/startup.h"
#include "app/report_file.h"
#include "app/report_inventory.h"
#include "app/report_output.h"
#include "files/path_logic.h"
#include "files/folder_listing.h"
#include "platform/disk_file.h"
#include "platform/file_system_redirection.h"
#include "platform/message_box.h"
#include "platform/path_forms.h"
#include "platform/proc_address.h"
#include "platform/read_ahead.h"
#include "platform/text.h"
#include "platform/unique_handle.h"
#include "ui/progress_window.h"
#include "ui/message_loop.h"

#include <windows.h>

#include <shellapi.h>

#include <cwctype>

namespace calvorn::app {

using platform::Failure;
using platform::Win32Error;

namespace {

const wchar_t kReportName[] = L"output.txt";

// The progress window, as the report drives it. Under Wine every window
// call is a round trip to the server and every repaint goes to the X
// server, which costs more than reading a file; so the window is brought up
// to date, and its messages let through, at most about thirty times a
// second, and always at the end. A click on Cancel waits at most that long.
class ProgressWindowSink final : public IReportProgress {
  public:
    explicit ProgressWindowSink(ProgressTask task = {}) : task_(std::move(task)) {}
    void Show() override {
        ui::ProgressWindow& window = ui::TheProgressWindow();
        if (!window.Load())
            throw Failure(Win32Error(LastErrorOr(ERROR_CANNOT_MAKE)));
        window.OnCancel([] { App().cancelRequested = true; });
        window.Task(task_.title, task_.itemLabel, task_.countWord);
        window.Show();
        ui::PumpPendingMessages();
        ::Sleep(20);
        last_ = ::GetTickCount() - kInterval;
    }
    void Max(std::int32_t value) override {
        max_ = value;
        ui::TheProgressWindow().Max(value);
    }
    // The walk only notes where it is; the window catches up at the next
    // pump that is due. (Were the two calls due on their own, the pump after
    // each file's record would take every turn and the window would keep
    // showing the first file.)
    void Value(std::int32_t value) override { value_ = value; }
    void CurrentFile(const std::wstring& name) override { file_ = name; }
    void PumpMessages() override {
        if (!Due())
            return;
        // Even asking the bar its size is a round trip to the server.
        ui::ProgressWindow& window = ui::TheProgressWindow();
        window.Value(value_);
        window.FileCaption(file_);
        ui::PumpPendingMessages();
        last_ = ::GetTickCount();
    }
    void Hide() override { ui::TheProgressWindow().Hide(); }

  private:
    static constexpr DWORD kInterval = 30;
    bool Due() const { return value_ >= max_ || ::GetTickCount() - last_ >= kInterval; }

    DWORD last_ = 0;
    ProgressTask task_;
    std::int32_t max_ = 0;
    std::int32_t value_ = 0;
    std::wstring file_;
};

} // namespace

std::unique_ptr<IReportProgress> WindowProgress(ProgressTask task) {
    return std::make_unique<ProgressWindowSink>(std::move(task));
}

std::wstring ReadErrorText(std::uint32_t code) {
    std::wstring text = platform::SystemMessage(code);
    return text.empty() ? L"error " + std::to_wstring(code) : text;
}

bool IsReportedFile(const std::wstring& fileName) {
    if (fileName.size() < 4)
        return false;
    std::wstring tail = fileName.substr(fileName.size() - 4);
    for (wchar_t& c : tail)
        c = static_cast<wchar_t>(std::towupper(c));
    return tail == L".DLL" || tail == L".OCX" || tail == L".EXE";
}

bool IsReportedFile(const std::wstring& fileName, const FileTypes& types) {
    if (IsReportedFile(fileName))
        return true;
    for (const std::wstring& extension : types.extra)
        if (fileName.size() > extension.size() &&
            _wcsicmp(fileName.c_str() + fileName.size() - extension.size(), extension.c_str()) == 0)
            return true;
    return false;
}

namespace {

// Under "-types all" every file is read, and its content decides.
bool IsCandidate(const std::wstring& fileName, const FileTypes& types) {
    return types.all || IsReportedFile(fileName, types);
}

} // namespace

std::vector<std::wstring> ReportedFiles(const std::vector<std::wstring>& listed,
                                        const FileTypes& types) {
    std::vector<std::wstring> names;
    for (const std::wstring& name : listed)
        if (IsCandidate(name, types))
            names.push_back(name);
    return names;
}

std::optional<std::wstring> FolderProblem(const std::wstring& folder) {
    if (folder.empty())
        return L"No folder was given for the report (the folder named is \"\").";
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    {
        // The folder the walk lists (see ListFiles).
        platform::FileSystemRedirectionOff seeTheNamedFolder;
        attributes = platform::Attributes(folder);
    }
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return L"The folder \"" + folder + L"\" does not exist.";
        return L"The folder \"" + folder + L"\" cannot be read: " + ReadErrorText(error);
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return L"\"" + folder + L"\" is not a folder.";
    return std::nullopt;
}

std::wstring ReadFailureText(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const Failure& caught) {
        if (!caught.Record().description.empty())
            return caught.Record().description;
        return ReadErrorText(static_cast<std::uint32_t>(caught.Record().number));
    } catch (const std::bad_alloc&) {
        return ReadErrorText(ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        return L"The file could not be read: an unexpected failure while reading it.";
    }
}

ReportEnd WriteReport(const FolderWalk& walk, IReportProgress& progress, const RecordReader& read,
                      const bool& cancel, const RecordWriter& write) {
    progress.Show();
    const std::vector<std::wstring> listed =
        files::ListFiles(platform::JoinPath(walk.folder, L"*.*"), walk.subfolders);
    const auto count = static_cast<std::int32_t>(listed.size());
    progress.Max(count);
    const std::vector<std::wstring> reported = ReportedFiles(listed, walk.types);
    // The files are read ahead of the walk, on a few threads, while it
    // writes and shows its progress (see read_ahead.h).
    platform::OrderedReadAhead<FolderRecord> records(
        reported.size(), [&](std::size_t k) { return read(reported[k]); });
    std::size_t taken = 0;
    for (std::int32_t i = 1; i <= count; ++i) {
        const std::wstring& name = listed[static_cast<std::size_t>(i - 1)];
        progress.Value(i);
        progress.CurrentFile(files::GetPathPart(name, files::ppName + files::ppExtension));
        progress.PumpMessages();
        if (IsCandidate(name, walk.types)) {
            FolderRecord record;
            try {
                record = records.Take(taken++);
            } catch (...) {
                // One damaged file is one file's error, not the end of the report.
                record = {};
                record.path = name;
                record.error = ReadFailureText(std::current_exception());
            }
            if (!record.excluded)
                write(record);
        }
        progress.PumpMessages();
        if (cancel) {
            progress.Hide();
            return ReportEnd::Cancelled;
        }
    }
    progress.Hide();
    return ReportEnd::Completed;
}

void CreateReport(const std::wstring& sFolder) {
    try {
        if (auto problem = FolderProblem(sFolder)) {
            platform::Messages().Show(*problem + L"\r\nNo report was written.",
                                      L"Calvorn - ActiveX Report", MB_OK | MB_ICONEXCLAMATION);
            return;
        }
        const std::wstring folder = ReportFolder();
        // The name is held until this report is opened, so that no other
        // run replaces it meanwhile.
        ReportOutput report(ReportFormat::Text, folder, kReportName,
                            ReportClaim::Mode::NextFreeName);
        ProgressWindowSink progress;
        ReportEnd end = WriteReport(
            {sFolder, false}, progress,
            [](const std::wstring& path) { return ReadInventoryRecord(path, TextReportOptions()); },
            App().cancelRequested, [&report](const FolderRecord& record) { report.Write(record); });
        if (end == ReportEnd::Completed) {
            report.Commit();
            // Without a program for the report's type the user would be
            // left with nothing: the report is there, and this says where.
            if (auto failure = OpenDocument(report.Path()))
                platform::Messages().Show(L"The ActiveX Report is in " + report.Path() +
                                              L"\nIt could not be opened: " + *failure,
                                          L"Calvorn - ActiveX Report", MB_OK | MB_ICONINFORMATION);
            return;
        }
        // A cancelled report is kept under a name of its own: the complete
        // report of an earlier run stays where it was.
        const ReportClaim partial(folder, PartialReportName(kReportName));
        report.CommitAs(partial.Path());
        std::wstring text = L"The ActiveX Report was cancelled.\nThe files reported before the "
                            L"cancel are in " +
                            partial.Path();
        if (platform::Attributes(report.Path()) != INVALID_FILE_ATTRIBUTES)
            text += L"\nThe earlier complete report is still in " + report.Path();
        // Nothing opens: the user learns why, and where the part done is.
        platform::Messages().Show(text, L"Calvorn - ActiveX Report", MB_OK | MB_ICONINFORMATION);
    } catch (const Failure& failure) {
        ShowError(L"CreateReport", failure.Record());
    } catch (const std::bad_alloc&) {
        ShowError(L"CreateReport", Win32Error(ERROR_NOT_ENOUGH_MEMORY));
    } catch (...) {
        // Whatever else went wrong, the user hears of it, and the report's
        // temporary file is gone with the report that was dropped.
        ShowError(L"CreateReport", Win32Error(ERROR_INTERNAL_ERROR));
    }
}

std::optional<std::wstring> OpenDocument(const std::wstring& sPath) {
    std::wstring log = platform::EnvironmentVariable(L"CALVORN_OPEN_LOG");
    if (log.empty()) {
        // shell32 is bound when first needed: the window's start-up does not load it.
        static auto* const shellExecute =
            platform::SystemProc<decltype(::ShellExecuteExW)>(L"shell32.dll", "ShellExecuteExW");
        if (!shellExecute)
            return Win32Error(::GetLastError()).description;
        SHELLEXECUTEINFOW open{};
        open.cbSize = sizeof open;
        open.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
        open.lpVerb = L"Open";
        open.lpFile = sPath.c_str();
        open.nShow = SW_SHOWNORMAL;
        if (!shellExecute(&open))
            return Win32Error(::GetLastError()).description;
        if (open.hProcess) {
            platform::UniqueHandle editor(open.hProcess);
            ::WaitForInputIdle(editor.get(), 10000);
        }
        return std::nullopt;
    }
    // Tests see what would have been opened, and no editor comes up.
    platform::UniqueFile file(::CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return Win32Error(::GetLastError()).description;
    std::string line = platform::Narrow(sPath) + "\r\n";
    DWORD written = 0;
    if (!::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr))
        return Win32Error(::GetLastError()).description;
    return std::nullopt;
}

} // namespace calvorn::app
