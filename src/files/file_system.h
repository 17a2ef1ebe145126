#pragma once
// File-system routines of the file model: one routine per family of calls.
// None of them passes a failure on; each has a defined result when the
// platform call fails (0, "", the zero date or an all-zero record).
//
// Paths of any length work: a name too long for the platform's ordinary
// limit is passed on in its extended-length form.

#include "files/path_logic.h"
#include "platform/path_forms.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace calvorn::files {

struct VolumeInfo {
    std::wstring RootPath;
    std::wstring VolumeName;
    std::int32_t SerialNumber = 0;
    std::int32_t MaxComponentLength = 0;
    std::int32_t FsFlags = 0;
    std::wstring FsName;
};

// The open-file record. Only fFixedDisk carries meaning: non-zero when the
// file can be opened and lies on a fixed disk. All zero when the file cannot
// be opened (nErrCode then holds the error).
OFSTRUCT GetOpenFileInfo(const std::wstring& fileName);
// Dates, volume serial number and sizes of the named file; all zero when the
// file cannot be opened.
BY_HANDLE_FILE_INFORMATION GetHandleFileInfo(const std::wstring& fileName);
// No conversion to local time. A zero file time is 1 January 1601.
Date FileTimeToDate(const FILETIME& ft);
// Milliseconds are dropped; an invalid record gives the zero date.
Date SystemTimeToDate(const SYSTEMTIME& st);
// The name the LZ expansion library would give the file; "" on failure.
std::wstring GetExpandedFileName(const std::wstring& fileName);
// The short (8.3) form of an existing name; "" on failure.
std::wstring GetShortFileName(const std::wstring& fileName);
// The attribute bits, -1 for a name that does not exist.
std::int32_t GetAttributes(const std::wstring& fileName);
// Sets the attribute bits; the outcome is not reported.
void SetAttributes(const std::wstring& fileName, std::int32_t attributes);
// The length of the file, opened for reading; 0 when it cannot be opened.
// Lengths beyond the 32-bit range read as the largest 32-bit value.
std::int32_t GetOpenFileLength(const std::wstring& fileName);
// The length as the file system reports it for the name, without opening
// the file; nothing when the query fails.
std::optional<std::int32_t> QueryFileLength(const std::wstring& fileName);
// The root of a path (C:\ or \\server\share); "" for a relative path.
std::wstring GetPathRoot(const std::wstring& path);
// Label, serial number, limits and file system of a volume. An empty root
// asks about the drive of the current folder.
VolumeInfo GetVolumeInfo(const std::wstring& rootPath);
// Directory entries matching the pattern, "." and ".." included.
std::int32_t CountMatches(const std::wstring& pattern);
// Calls back with each entry's name and attribute bits, in the platform's
// order; nothing when the pattern matches nothing.
void ForEachMatch(const std::wstring& pattern,
                  const std::function<void(const std::wstring& name, DWORD attributes)>& onEntry);

// The form of a path that the wide file calls accept at any length.
using platform::ExtendedPath;

} // namespace calvorn::files
