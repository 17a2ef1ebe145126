#include "files/file_system.h"

#include "platform/path_forms.h"
#include "platform/proc_address.h"
#include "platform/unique_handle.h"

#include <lzexpand.h>
#include <shlwapi.h>

#include <algorithm>
#include <climits>

namespace calvorn::files {

using platform::UniqueFile;
using platform::UniqueFind;

namespace {

// Text buffers that a call fills start as this many spaces.
constexpr DWORD kBufferChars = 1024;

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The root folder of the volume that holds the path, for the drive-type query.
std::wstring VolumeRootOf(const std::wstring& path) {
    std::wstring full = platform::PlainForm(platform::FullPath(ExtendedPath(path)));
    if (full.empty())
        return {};
    std::wstring root(full.size() + 2, L'\0');
    if (::GetVolumePathNameW(full.c_str(), root.data(), static_cast<DWORD>(root.size())))
        return StripNull(root);
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\')
        return full.substr(0, 3);
    if (StartsWith(full, L"\\\\")) { // \\server\share\ ...
        size_t server = full.find(L'\\', 2);
        size_t share = server == std::wstring::npos ? server : full.find(L'\\', server + 1);
        return EnsureSuffix(full.substr(0, share), L"\\");
    }
    return {};
}

// Opens an existing file for questions about it, not for its contents: no
// read access is needed, and others may hold it open in any way.
UniqueFile OpenForQuery(const std::wstring& fileName) {
    return UniqueFile(::CreateFileW(ExtendedPath(fileName).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
}

std::int32_t ClampLength(ULONGLONG length) {
    return static_cast<std::int32_t>(std::min<ULONGLONG>(length, INT32_MAX));
}

} // namespace

OFSTRUCT GetOpenFileInfo(const std::wstring& fileName) {
    OFSTRUCT record{};
    UniqueFile file = OpenForQuery(fileName);
    if (!file) {
        record.nErrCode = static_cast<WORD>(::GetLastError());
        return record;
    }
    record.cBytes = sizeof record;
    std::wstring root = VolumeRootOf(fileName);
    record.fFixedDisk = !root.empty() && ::GetDriveTypeW(root.c_str()) == DRIVE_FIXED;
    return record;
}

BY_HANDLE_FILE_INFORMATION GetHandleFileInfo(const std::wstring& fileName) {
    BY_HANDLE_FILE_INFORMATION info{};
    UniqueFile file = OpenForQuery(fileName);
    if (file && !::GetFileInformationByHandle(file.get(), &info))
        info = {};
    return info;
}

Date FileTimeToDate(const FILETIME& ft) {
    SYSTEMTIME st{};
    if (!::FileTimeToSystemTime(&ft, &st))
        st = {};
    return SystemTimeToDate(st);
}

Date SystemTimeToDate(const SYSTEMTIME& st) {
    return DateFromFields({st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond});
}

std::wstring GetExpandedFileName(const std::wstring& fileName) {
    // The call takes no buffer size; the expanded name is never longer than
    // the name itself plus one character.
    std::wstring in = fileName;
    std::wstring out(std::max<size_t>(kBufferChars, fileName.size() + 2), L' ');
    // Bound on first use: only this routine needs lz32.
    static auto* const getExpandedName =
        platform::SystemProc<decltype(::GetExpandedNameW)>(L"lz32.dll", "GetExpandedNameW");
    if (!getExpandedName || getExpandedName(in.data(), out.data()) < 0)
        return {};
    return StripNull(out);
}

std::wstring GetShortFileName(const std::wstring& fileName) {
    const std::wstring arg = ExtendedPath(fileName);
    std::wstring buffer(kBufferChars, L' ');
    DWORD n = ::GetShortPathNameW(arg.c_str(), buffer.data(), kBufferChars);
    if (n >= kBufferChars) { // too small: n is the size it needs
        buffer.assign(n, L' ');
        n = ::GetShortPathNameW(arg.c_str(), buffer.data(), n);
        if (n >= buffer.size())
            n = 0;
    }
    if (n == 0)
        return {};
    buffer.resize(n);
    return arg == fileName ? StripNull(buffer) : platform::PlainForm(StripNull(buffer));
}

std::int32_t GetAttributes(const std::wstring& fileName) {
    return static_cast<std::int32_t>(::GetFileAttributesW(ExtendedPath(fileName).c_str()));
}

void SetAttributes(const std::wstring& fileName, std::int32_t attributes) {
    ::SetFileAttributesW(ExtendedPath(fileName).c_str(), static_cast<DWORD>(attributes));
}

std::int32_t GetOpenFileLength(const std::wstring& fileName) {
    UniqueFile file(::CreateFileW(ExtendedPath(fileName).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size))
        return 0;
    return ClampLength(static_cast<ULONGLONG>(size.QuadPart));
}

std::optional<std::int32_t> QueryFileLength(const std::wstring& fileName) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(ExtendedPath(fileName).c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    return ClampLength((static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

std::wstring GetPathRoot(const std::wstring& path) {
    // The call rewrites its argument in place; it gets a private copy with
    // room to spare.
    std::wstring copy = path;
    copy.resize(std::max<size_t>(path.size(), MAX_PATH) + 1, L'\0');
    if (!::PathStripToRootW(copy.data()))
        return {};
    return StripNull(copy);
}

VolumeInfo GetVolumeInfo(const std::wstring& rootPath) {
    VolumeInfo info;
    info.RootPath = rootPath;
    std::wstring label(kBufferChars, L' ');
    std::wstring fsName(kBufferChars, L' ');
    DWORD serial = 0, maxComponent = 0, flags = 0;
    if (!::GetVolumeInformationW(rootPath.empty() ? nullptr : rootPath.c_str(), label.data(),
                                 kBufferChars, &serial, &maxComponent, &flags, fsName.data(),
                                 kBufferChars))
        return info;
    info.VolumeName = StripNull(label);
    info.SerialNumber = static_cast<std::int32_t>(serial);
    info.MaxComponentLength = static_cast<std::int32_t>(maxComponent);
    info.FsFlags = static_cast<std::int32_t>(flags);
    info.FsName = StripNull(fsName);
    return info;
}

void ForEachMatch(const std::wstring& pattern,
                  const std::function<void(const std::wstring& name, DWORD attributes)>& onEntry) {
    WIN32_FIND_DATAW data{};
    UniqueFind search(::FindFirstFileW(ExtendedPath(pattern).c_str(), &data));
    if (!search)
        return;
    do {
        // The name field is a fixed array; make sure the text ends in it.
        data.cFileName[MAX_PATH - 1] = L'\0';
        onEntry(data.cFileName, data.dwFileAttributes);
    } while (::FindNextFileW(search.get(), &data));
}

std::int32_t CountMatches(const std::wstring& pattern) {
    std::int32_t count = 0;
    ForEachMatch(pattern, [&count](const std::wstring&, DWORD) { ++count; });
    return count;
}

} // namespace calvorn::files
