#include "app/backup_file.h"

#include "app/report_file.h"
#include "platform/path_forms.h"
#include "platform/text.h"
#include "platform/unique_handle.h"

#include <windows.h>

#include <cstdio>

namespace calvorn::app {

namespace {

// "calvorn-backup-20261208-013000.reg", then "...-2.reg" and on while one
// of that name is there: a backup never replaces an older one.
std::wstring BackupName(const SYSTEMTIME& t, int attempt) {
    wchar_t name[64];
    std::swprintf(name, 64, L"calvorn-backup-%04u%02u%02u-%02u%02u%02u", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond);
    return std::wstring(name) + (attempt > 1 ? L"-" + std::to_wstring(attempt) : L"") + L".reg";
}

// The whole file; nothing (and the code in `error`) when it cannot be read.
std::optional<std::string> ReadWhole(const std::wstring& path, unsigned long& error) {
    platform::UniqueFile file(::CreateFileW(platform::ExtendedPath(path).c_str(), GENERIC_READ,
                                            FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size)) {
        error = LastErrorOr(ERROR_OPEN_FAILED);
        return std::nullopt;
    }
    if (size.QuadPart > 1024LL * 1024 * 1024) {
        error = ERROR_FILE_TOO_LARGE;
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
        got != bytes.size()) {
        error = LastErrorOr(ERROR_READ_FAULT);
        return std::nullopt;
    }
    return bytes;
}

// Writes and flushes `bytes` to a file that must be new; the system's code.
unsigned long WriteNew(const std::wstring& path, const std::string& bytes) {
    platform::UniqueFile file(::CreateFileW(platform::ExtendedPath(path).c_str(), GENERIC_WRITE, 0,
                                            nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return LastErrorOr(ERROR_CANNOT_MAKE);
    DWORD written = 0;
    const BOOL wrote =
        ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    unsigned long error = WriteFailureCode(wrote != FALSE, static_cast<unsigned long>(bytes.size()),
                                           written, ::GetLastError());
    if (error == ERROR_SUCCESS && !::FlushFileBuffers(file.get()))
        error = LastErrorOr(ERROR_WRITE_FAULT);
    return error;
}

// Reads the file back as the restore will: the same bytes, and the same keys.
unsigned long Verify(const std::wstring& path, const std::string& bytes,
                     const registration::ScanBackup& backup) {
    unsigned long error = ERROR_SUCCESS;
    const std::optional<std::string> back = ReadWhole(path, error);
    if (!back)
        return error;
    std::wstring why;
    const std::optional<registration::ScanBackup> read = registration::ReadScanBackup(*back, why);
    if (*back != bytes || !read || read->view != backup.view ||
        read->keys.size() != backup.keys.size())
        return ERROR_INVALID_DATA;
    for (std::size_t i = 0; i < backup.keys.size(); ++i) {
        const registration::CapturedKey &a = read->keys[i], &b = backup.keys[i];
        bool same = a.root == b.root && a.path == b.path && a.values.size() == b.values.size();
        for (std::size_t v = 0; same && v < a.values.size(); ++v)
            same = a.values[v].name == b.values[v].name && a.values[v].type == b.values[v].type &&
                   a.values[v].data == b.values[v].data;
        if (!same)
            return ERROR_INVALID_DATA;
    }
    return ERROR_SUCCESS;
}

unsigned long WriteVerified(const std::wstring& path, const registration::ScanBackup& backup) {
    const std::string bytes = registration::WriteScanBackup(backup);
    unsigned long error = WriteNew(path, bytes);
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
        return error;
    if (error == ERROR_SUCCESS)
        error = Verify(path, bytes, backup);
    if (error != ERROR_SUCCESS)
        ::DeleteFileW(platform::ExtendedPath(path).c_str());
    return error;
}

} // namespace

std::wstring WriteBackupFile(const std::wstring& folder, const registration::ScanBackup& backup,
                             unsigned long& error) {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    for (int attempt = 1; attempt < 100; ++attempt) {
        const std::wstring path = platform::JoinPath(folder, BackupName(now, attempt));
        error = WriteVerified(path, backup);
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
            continue;
        return error == ERROR_SUCCESS ? path : std::wstring();
    }
    error = ERROR_FILE_EXISTS;
    return {};
}

unsigned long ReplaceBackupFile(const std::wstring& path, const registration::ScanBackup& backup) {
    const std::wstring next = path + L".new";
    ::DeleteFileW(platform::ExtendedPath(next).c_str());
    const unsigned long error = WriteVerified(next, backup);
    if (error != ERROR_SUCCESS)
        return error;
    if (!::MoveFileExW(platform::ExtendedPath(next).c_str(), platform::ExtendedPath(path).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const unsigned long moveError = LastErrorOr(ERROR_CANNOT_MAKE);
        ::DeleteFileW(platform::ExtendedPath(next).c_str());
        return moveError;
    }
    return ERROR_SUCCESS;
}

RestoreResult RestoreBackupFile(const std::wstring& path) {
    RestoreResult result;
    unsigned long error = ERROR_SUCCESS;
    const std::optional<std::string> bytes = ReadWhole(path, error);
    if (!bytes) {
        result.unreadable = platform::SystemMessage(error);
        return result;
    }
    const std::optional<registration::ScanBackup> backup =
        registration::ReadScanBackup(*bytes, result.unreadable);
    if (!backup)
        return result;
    result.unreadable.clear();
    result.keys = backup->keys.size();
    result.failures = registration::RestoreScanBackup(*backup);
    return result;
}

} // namespace calvorn::app
