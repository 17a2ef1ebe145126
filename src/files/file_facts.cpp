#include "files/file_facts.h"

#include "files/file_system.h"

#include <shlwapi.h>

namespace calvorn::files {

bool FileFacts::bFixedDisk() const {
    return GetOpenFileInfo(sFileName_).fFixedDisk != 0;
}

Date FileFacts::dCreated() const {
    return FileTimeToDate(GetHandleFileInfo(sFileName_).ftCreationTime);
}

Date FileFacts::dLastAccessed() const {
    return FileTimeToDate(GetHandleFileInfo(sFileName_).ftLastAccessTime);
}

Date FileFacts::dLastModified() const {
    // Opened by its short name, like the other routines that want the 8.3
    // form; a volume without short names gives none, and then the name
    // itself serves.
    std::wstring shortName = GetShortFileName(sFileName_);
    return FileTimeToDate(
        GetHandleFileInfo(shortName.empty() ? sFileName_ : shortName).ftLastWriteTime);
}

std::wstring FileFacts::sExpandedName() const {
    return GetExpandedFileName(sFileName_);
}

std::wstring FileFacts::sShortName() const {
    return GetShortFileName(sFileName_);
}

std::int32_t FileFacts::eAttributes() const {
    return GetAttributes(sFileName_);
}

void FileFacts::eAttributes(std::int32_t value) const {
    SetAttributes(sFileName(), value);
}

std::int32_t FileFacts::lSize() const {
    if (auto length = QueryFileLength(sFileName_))
        return *length;
    return GetOpenFileLength(sFileName_);
}

std::wstring FileFacts::sName() const {
    return GetPathPart(sFileName_, ppName);
}

std::wstring FileFacts::sNameAndExtension() const {
    return GetPathPart(sFileName_, ppName + ppExtension);
}

std::wstring FileFacts::sExtension() const {
    return GetPathPart(sFileName_, ppExtension);
}

std::wstring FileFacts::sPath() const {
    return GetPathPart(sFileName_, ppPath);
}

std::wstring FileFacts::sDriveLetter() const {
    int n = ::PathGetDriveNumberW(sFileName_.c_str());
    if (n < 0 || n > 25)
        return {};
    return std::wstring(1, static_cast<wchar_t>(L'A' + n)) + L":";
}

std::wstring FileFacts::sPathRoot() const {
    std::wstring root = GetPathRoot(sFileName_);
    bool blank = root.find_first_not_of(L' ') == std::wstring::npos;
    if (!blank && root.back() != L'\\')
        root += L'\\';
    return root;
}

bool FileFacts::bNetworkPath() const {
    return ::PathIsNetworkPathW(sFileName_.c_str()) != FALSE;
}

bool FileFacts::bUNCServerShare() const {
    return ::PathIsUNCServerShareW(sFileName_.c_str()) != FALSE;
}

bool FileFacts::bUNCServer() const {
    return ::PathIsUNCServerW(sFileName_.c_str()) != FALSE;
}

bool FileFacts::bUNC() const {
    return ::PathIsUNCW(sFileName_.c_str()) != FALSE;
}

std::int32_t FileFacts::eVolumeType() const {
    std::wstring root = sPathRoot();
    return static_cast<std::int32_t>(::GetDriveTypeW(root.empty() ? nullptr : root.c_str()));
}

std::int32_t FileFacts::lVolumeSerialNo() const {
    return static_cast<std::int32_t>(GetHandleFileInfo(sFileName_).dwVolumeSerialNumber);
}

std::wstring FileFacts::sVolumeName() const {
    return GetVolumeInfo(sPathRoot()).VolumeName;
}

} // namespace calvorn::files
