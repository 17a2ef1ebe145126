#include "app/report_file.h"

#include "files/path_logic.h"
#include "platform/disk_file.h"
#include "platform/path_forms.h"
#include "platform/proc_address.h"
#include "platform/text.h"

#include <windows.h>

#include <shlobj.h>

#include <cwctype>
#include <vector>

namespace calvorn::app {

using platform::Failure;

namespace {

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

std::wstring TempFolder() {
    DWORD need = ::GetTempPathW(0, nullptr);
    if (need == 0)
        return {};
    std::wstring folder(need, L'\0');
    DWORD got = ::GetTempPathW(need, folder.data());
    folder.resize(got < need ? got : 0);
    return folder;
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = platform::Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The name of the lock that holds one identity of a report file: the
// identity may be longer than an object name may be, so the lock is named by
// a hash of it in one case.
std::wstring ClaimName(std::wstring path) {
    for (wchar_t& c : path)
        c = static_cast<wchar_t>(std::towupper(c));
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (wchar_t c : path) {
        hash ^= static_cast<std::uint16_t>(c);
        hash *= 0x100000001b3ull;
    }
    wchar_t text[17] = {};
    for (int i = 15; i >= 0; --i, hash >>= 4)
        text[i] = L"0123456789abcdef"[hash & 0xF];
    return L"Local\\Calvorn.Report." + std::wstring(text);
}

// What names one folder however it is spelled: its final path on the volume
// and its file ID on the volume. Either alone can be fooled (a second drive
// letter may resolve to another final path on some systems; a file system
// may give no stable ID), both together are claimed. The text as given only
// when the system tells neither.
std::vector<std::wstring> FolderIdentities(HANDLE folder, const std::wstring& given) {
    std::vector<std::wstring> identities;
    for (const DWORD volume : {VOLUME_NAME_NT, VOLUME_NAME_DOS}) {
        std::wstring final(32768, L'\0');
        const DWORD n = ::GetFinalPathNameByHandleW(
            folder, final.data(), static_cast<DWORD>(final.size()), FILE_NAME_NORMALIZED | volume);
        if (n > 0 && n < final.size()) {
            final.resize(n);
            identities.push_back(L"path:" + final);
            break;
        }
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(folder, &info) && (info.nFileIndexHigh || info.nFileIndexLow))
        identities.push_back(L"id:" + std::to_wstring(info.dwVolumeSerialNumber) + L":" +
                             std::to_wstring(info.nFileIndexHigh) + L":" +
                             std::to_wstring(info.nFileIndexLow));
    if (identities.empty())
        identities.push_back(L"text:" + given);
    return identities;
}

bool ProcessAlive(DWORD pid) {
    platform::UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
    return process && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

// The process id in "<report name>.<digits>.part", where the report name is
// `name` or a name of its own ("output (2).txt" for "output.txt"); 0 for any
// other file, which is someone else's.
DWORD PartOwner(const std::wstring& file, const std::wstring& name) {
    const std::wstring suffix = L".part";
    if (file.size() <= suffix.size() ||
        _wcsicmp(file.c_str() + file.size() - suffix.size(), suffix.c_str()) != 0)
        return 0;
    const std::wstring rest = file.substr(0, file.size() - suffix.size());
    const std::size_t dot = rest.rfind(L'.');
    if (dot == std::wstring::npos || dot + 1 == rest.size() || rest.size() - dot > 11)
        return 0;
    std::uint64_t pid = 0;
    for (std::size_t i = dot + 1; i < rest.size(); ++i) {
        if (rest[i] < L'0' || rest[i] > L'9')
            return 0;
        pid = pid * 10 + static_cast<unsigned>(rest[i] - L'0');
    }
    const std::wstring report = rest.substr(0, dot);
    const std::wstring stem = files::GetPathPart(name, files::ppName);
    const std::wstring extension = files::GetPathPart(name, files::ppExtension);
    bool ours = _wcsicmp(report.c_str(), name.c_str()) == 0;
    // "<stem> (<n>).<extension>"
    const std::wstring tail = L")." + extension;
    if (!ours && report.size() > stem.size() + 2 + tail.size() &&
        _wcsnicmp(report.c_str(), (stem + L" (").c_str(), stem.size() + 2) == 0 &&
        _wcsicmp(report.c_str() + report.size() - tail.size(), tail.c_str()) == 0) {
        const std::wstring number =
            report.substr(stem.size() + 2, report.size() - stem.size() - 2 - tail.size());
        ours = !number.empty() && number.size() <= 3 &&
               number.find_first_not_of(L"0123456789") == std::wstring::npos;
    }
    return ours && pid <= 0xFFFFFFFFull ? static_cast<DWORD>(pid) : 0;
}

const char kMark[] = "\xEF\xBB\xBF";

} // namespace

unsigned long LastErrorOr(unsigned long fallback) {
    const DWORD code = ::GetLastError();
    return code != ERROR_SUCCESS ? code : fallback;
}

unsigned long WriteFailureCode(bool succeeded, unsigned long asked, unsigned long written,
                               unsigned long lastError) {
    if (!succeeded)
        return lastError != ERROR_SUCCESS ? lastError : ERROR_WRITE_FAULT;
    // A write that returns with fewer bytes than asked ran out of room; the
    // last error is whatever an earlier call left there.
    return written < asked ? ERROR_DISK_FULL : ERROR_SUCCESS;
}

std::wstring PartialReportName(const std::wstring& name) {
    const std::wstring extension = files::GetPathPart(name, files::ppExtension);
    return files::GetPathPart(name, files::ppName) + L" (partial)" +
           (extension.empty() ? L"" : L"." + extension);
}

platform::ErrorRecord PathError(unsigned long code, const std::wstring& path) {
    platform::ErrorRecord record = platform::Win32Error(code);
    record.description += (record.description.empty() ? L"(" : L" (") + path + L")";
    return record;
}

std::wstring ReportFolder() {
    std::wstring folder = platform::EnvironmentVariable(L"CALVORN_REPORT_DIR");
    if (folder.empty()) {
        std::wstring appData = LocalAppDataFolder();
        if (!appData.empty()) {
            folder = platform::JoinPath(appData, L"Calvorn");
            ::CreateDirectoryW(folder.c_str(), nullptr);
            // A file of that name, or no right to make the folder.
            if (!IsFolder(folder))
                folder.clear();
        }
    }
    if (folder.empty())
        folder = TempFolder();
    return platform::FolderWithSeparator(folder);
}

void RemoveStaleParts(const std::wstring& folder, const std::wstring& name) {
    WIN32_FIND_DATAW data{};
    platform::UniqueFind find = platform::FindFiles(
        platform::JoinPath(folder, files::GetPathPart(name, files::ppName) + L"*.part"), data);
    if (!find)
        return;
    std::vector<std::wstring> stale;
    do {
        const DWORD owner = PartOwner(data.cFileName, name);
        if (owner != 0 && owner != ::GetCurrentProcessId() && !ProcessAlive(owner) &&
            !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            stale.push_back(data.cFileName);
    } while (::FindNextFileW(find.get(), &data));
    for (const std::wstring& file : stale)
        ::DeleteFileW(platform::JoinPath(folder, file).c_str());
}

ReportClaim::ReportClaim(const std::wstring& folder, const std::wstring& name, Mode mode) {
    // The folder's identity, not its spelling: "C:\out", "\\?\C:\out" and
    // another drive letter for the same place are one folder.
    platform::UniqueFile opened =
        platform::OpenRead(folder.empty() ? std::wstring(L".") : folder, FILE_READ_ATTRIBUTES,
                           FILE_FLAG_BACKUP_SEMANTICS);
    if (!opened) {
        // The folder is the path of the file: a folder not there is a path
        // not found, as opening the file in it would say.
        const unsigned long error = LastErrorOr(ERROR_PATH_NOT_FOUND);
        throw Failure(
            PathError(error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error, folder + name));
    }
    const std::vector<std::wstring> identities = FolderIdentities(opened.get(), folder);
    const std::wstring extension = files::GetPathPart(name, files::ppExtension);
    const std::wstring stem = files::GetPathPart(name, files::ppName);
    for (int n = 1; n <= 100; ++n) {
        const std::wstring candidateName = n == 1
                                               ? name
                                               : stem + L" (" + std::to_wstring(n) + L")" +
                                                     (extension.empty() ? L"" : L"." + extension);
        std::wstring candidate = folder + candidateName;
        // Each lock lives as long as some process holds it: a name whose lock
        // exists already is held by a running report. Every identity of the
        // file is claimed, so two spellings meet on at least one.
        std::vector<platform::UniqueHandle> held;
        bool taken = false;
        for (const std::wstring& identity : identities) {
            platform::UniqueHandle mutex(::CreateMutexW(
                nullptr, FALSE, ClaimName(identity + L"\\" + candidateName).c_str()));
            if (!mutex)
                throw Failure(PathError(::GetLastError(), candidate));
            taken = taken || ::GetLastError() == ERROR_ALREADY_EXISTS;
            held.push_back(std::move(mutex));
        }
        if (!taken) {
            path_ = std::move(candidate);
            mutexes_ = std::move(held);
            return;
        }
        if (mode == Mode::ThisNameOnly)
            throw Failure(PathError(ERROR_SHARING_VIOLATION, candidate));
    }
    throw Failure(PathError(ERROR_BUSY, folder + name));
}

ReportFile::ReportFile(std::wstring path, ByteOrderMark mark)
    : path_(std::move(path)),
      temporary_(path_ + L"." + std::to_wstring(::GetCurrentProcessId()) + L".part"), mark_(mark) {
    // Not shared for deletion: a run that tidies up after killed runs cannot
    // take this file away while it is written.
    file_.reset(::CreateFileW(temporary_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_)
        throw Failure(PathError(LastErrorOr(ERROR_CANNOT_MAKE), path_));
}

ReportFile::~ReportFile() {
    if (!committed_) {
        file_.reset();
        ::DeleteFileW(temporary_.c_str());
    }
}

void ReportFile::Append(std::string_view bytes) {
    DWORD written = 0;
    const bool succeeded = ::WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                       &written, nullptr) != FALSE;
    const unsigned long code = WriteFailureCode(succeeded, static_cast<unsigned long>(bytes.size()),
                                                written, succeeded ? 0 : ::GetLastError());
    if (code != ERROR_SUCCESS)
        throw Failure(PathError(code, path_));
    written_ += written;
}

// The text so far is ASCII, so it moves up by the mark's three bytes whole.
void ReportFile::PutMarkInFront() {
    std::string text(static_cast<std::size_t>(written_), '\0');
    DWORD got = 0;
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(file_.get(), start, nullptr, FILE_BEGIN) ||
        !::ReadFile(file_.get(), text.data(), static_cast<DWORD>(text.size()), &got, nullptr) ||
        got != text.size() || !::SetFilePointerEx(file_.get(), start, nullptr, FILE_BEGIN))
        throw Failure(PathError(LastErrorOr(ERROR_READ_FAULT), path_));
    written_ = 0;
    marked_ = true;
    Append(kMark + text);
}

void ReportFile::Write(std::wstring_view text) {
    WriteBytes(platform::Narrow(text));
}

void ReportFile::WriteBytes(std::string_view bytes) {
    if (mark_ == ByteOrderMark::WhenNeeded && !marked_)
        for (char c : bytes)
            if (static_cast<unsigned char>(c) >= 0x80) {
                PutMarkInFront();
                break;
            }
    Append(bytes);
}

void ReportFile::Commit() {
    CommitAs(path_);
}

void ReportFile::CommitAs(const std::wstring& path) {
    if (!::FlushFileBuffers(file_.get()))
        throw Failure(PathError(LastErrorOr(ERROR_WRITE_FAULT), path));
    file_.reset();
    if (!::MoveFileExW(temporary_.c_str(), path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw Failure(PathError(LastErrorOr(ERROR_WRITE_FAULT), path));
    committed_ = true;
}

} // namespace calvorn::app
