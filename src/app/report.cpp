#include "app/report.h"

#include "app/basMain.h"
#include "files/colFiles_Vask.h"
#include "inspection/clsFileInfo.h"
#include "platform/message_box.h"
#include "platform/proc_address.h"
#include "platform/text.h"
#include "platform/unique_handle.h"
#include "ui/frmProgress.h"
#include "ui/message_loop.h"

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <cwctype>

namespace calvorn::app {

using platform::Failure;
using platform::Win32Error;

namespace {

const wchar_t kReportName[] = L"output.txt";

std::wstring Environment(const wchar_t* name) {
    DWORD need = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (need == 0)
        return {};
    std::wstring value(need, L'\0');
    DWORD got = ::GetEnvironmentVariableW(name, value.data(), need);
    value.resize(got < need ? got : 0);
    return value;
}

std::wstring LocalAppDataFolder() {
    PWSTR path = nullptr;
    std::wstring folder;
    // shell32 is bound when first needed: the window's start-up does not load it.
    static auto* const knownFolderPath = platform::SystemProc<decltype(::SHGetKnownFolderPath)>(
        L"shell32.dll", "SHGetKnownFolderPath");
    if (knownFolderPath && SUCCEEDED(knownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path)))
        folder = path;
    ::CoTaskMemFree(path);
    return folder;
}

// The progress window, as the report drives it. Under Wine every window
// call is a round trip to the server and every repaint goes to the X
// server, which costs more than reading a file; so the window is brought up
// to date, and its messages let through, at most about thirty times a
// second, and always at the end. A click on Cancel waits at most that long.
class ProgressWindowSink final : public IReportProgress {
  public:
    void Show() override {
        ui::frmProgress& window = ui::ProgressWindow();
        if (!window.Load())
            throw Failure(Win32Error(::GetLastError()));
        window.OnCancel([] { App().bCancelReport = true; });
        window.Show();
        ui::PumpPendingMessages();
        ::Sleep(20);
        last_ = ::GetTickCount() - kInterval;
    }
    void Max(std::int32_t value) override {
        max_ = value;
        ui::ProgressWindow().Max(value);
    }
    void Value(std::int32_t value) override {
        // Even asking the bar its size is a round trip to the server.
        value_ = value;
        if (Due())
            ui::ProgressWindow().Value(value);
    }
    void CurrentFile(const std::wstring& name) override {
        if (Due())
            ui::ProgressWindow().FileCaption(name);
    }
    void PumpMessages() override {
        if (!Due())
            return;
        ui::PumpPendingMessages();
        last_ = ::GetTickCount();
    }
    void Hide() override { ui::ProgressWindow().Hide(); }

  private:
    static constexpr DWORD kInterval = 30;
    bool Due() const { return value_ >= max_ || ::GetTickCount() - last_ >= kInterval; }

    DWORD last_ = 0;
    std::int32_t max_ = 0;
    std::int32_t value_ = 0;
};

} // namespace

std::wstring ReportFolder() {
    std::wstring folder = Environment(L"CALVORN_REPORT_DIR");
    if (folder.empty()) {
        std::wstring appData = LocalAppDataFolder();
        if (!appData.empty()) {
            folder = files::EnsureSuffix(appData, L"\\") + L"Calvorn";
            ::CreateDirectoryW(folder.c_str(), nullptr);
        }
    }
    if (folder.empty()) {
        wchar_t temp[MAX_PATH + 1] = {};
        DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
        if (n > 0 && n <= MAX_PATH)
            folder = temp;
    }
    return files::EnsureSuffix(folder, L"\\");
}

ReportFile::ReportFile(std::wstring path)
    : path_(std::move(path)),
      temporary_(path_ + L"." + std::to_wstring(::GetCurrentProcessId()) + L".part") {
    file_.reset(::CreateFileW(temporary_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_)
        throw Failure(Win32Error(::GetLastError()));
}

ReportFile::~ReportFile() {
    if (!committed_) {
        file_.reset();
        ::DeleteFileW(temporary_.c_str());
        // A report of an earlier run would pass for this run's.
        ::DeleteFileW(path_.c_str());
    }
}

void ReportFile::Write(const std::wstring& text) {
    std::string bytes = platform::NarrowAnsi(text);
    DWORD written = 0;
    if (!::WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) ||
        written != bytes.size())
        throw Failure(Win32Error(::GetLastError()));
}

void ReportFile::WriteBytes(std::string_view bytes) {
    DWORD written = 0;
    if (!::WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) ||
        written != bytes.size())
        throw Failure(Win32Error(::GetLastError()));
}

void ReportFile::Commit() {
    if (!::FlushFileBuffers(file_.get()))
        throw Failure(Win32Error(::GetLastError()));
    file_.reset();
    if (!::MoveFileExW(temporary_.c_str(), path_.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw Failure(Win32Error(::GetLastError()));
    committed_ = true;
}

bool IsReportedFile(const std::wstring& fileName) {
    if (fileName.size() < 4)
        return false;
    std::wstring tail = fileName.substr(fileName.size() - 4);
    for (wchar_t& c : tail)
        c = static_cast<wchar_t>(std::towupper(c));
    return tail == L".DLL" || tail == L".OCX" || tail == L".EXE";
}

std::wstring FormatReportBlock(const std::wstring& fileName, const inspection::clsFileInfo& info) {
    const std::wstring nl = L"\r\n";
    std::wstring block;
    block += L"File: " + fileName + nl + nl;
    block += L"Company Name: " + info.CompanyName + nl;
    block += L"File Description: " + info.FileDescription + nl;
    block += L"Internal Name: " + info.InternalName + nl;
    block += L"Legal Copyright: " + info.LegalCopyright + nl;
    block += L"Legal Trademarks: " + info.LegalTrademarks + nl;
    block += L"Original Filename: " + info.OriginalFileName + nl;
    block += L"Product Name: " + info.ProductName + nl;
    block += L"Product Version: " + info.ProductVersion + nl;
    block += L"Comments: " + info.Comments + nl + nl;
    block += L"Extended File Info " + nl + nl;
    block += L"Type: " + info.FileTypeEx + nl;
    block += L"SubType: " + info.FileSubTypeEx + nl;
    block += L"Version: " + info.FileVerEx + nl;
    block += L"Product Version: " + info.ProdVerEx + nl;
    block += L"OS: " + info.FileOSEx + nl;
    block += L"Structure Version: " + info.StrucVerEx + nl;
    // Three empty lines part this block from the next.
    block += L"Flags: " + info.FileFlagsEx + nl + nl + nl + nl;
    return block;
}

ReportEnd WriteReport(const std::wstring& sFolder, IReportProgress& progress,
                      const VersionLookup& lookup, const bool& cancel, const BlockWriter& write) {
    files::colFiles_Vask list;
    inspection::clsFileInfo info;

    progress.Show();
    list.LoadFiles(files::EnsureSuffix(sFolder, L"\\") + L"*.*", false);
    const std::int32_t count = list.Count();
    progress.Max(count);
    for (std::int32_t i = 1; i <= count; ++i) {
        const auto file = list.Item(i);
        progress.Value(i);
        progress.CurrentFile(file->sNameAndExtension());
        progress.PumpMessages();
        const std::wstring& name = file->sFileName();
        if (IsReportedFile(name)) {
            lookup(info, name);
            write(FormatReportBlock(name, info));
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
        const std::wstring path = ReportFolder() + kReportName;
        ReportFile report(path);
        ProgressWindowSink progress;
        ReportEnd end = WriteReport(
            sFolder, progress,
            [](inspection::clsFileInfo& info, const std::wstring& file) { info.SelectFile(file); },
            App().bCancelReport, [&report](const std::wstring& block) { report.Write(block); });
        report.Commit();
        if (end == ReportEnd::Completed)
            OpenDocument(path);
        else
            // Nothing opens: the user learns why, and where the part done is.
            platform::Messages().Show(L"The ActiveX Report was cancelled.\nThe files reported "
                                      L"before the cancel are in " +
                                          path,
                                      L"Calvorn - ActiveX Report", MB_OK | MB_ICONINFORMATION);
    } catch (const Failure& failure) {
        ShowError(L"CreateReport", failure.Record());
    } catch (const std::bad_alloc&) {
        ShowError(L"CreateReport", Win32Error(ERROR_NOT_ENOUGH_MEMORY));
    }
}

void OpenDocument(const std::wstring& sPath) {
    std::wstring log = Environment(L"CALVORN_OPEN_LOG");
    if (log.empty()) {
        static auto* const shellExecute =
            platform::SystemProc<decltype(::ShellExecuteW)>(L"shell32.dll", "ShellExecuteW");
        if (shellExecute)
            shellExecute(nullptr, L"Open", sPath.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        return;
    }
    // Tests see what would have been opened, and no editor comes up.
    platform::UniqueFile file(::CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string line = platform::Narrow(sPath) + "\r\n";
    DWORD written = 0;
    if (file)
        ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

} // namespace calvorn::app
