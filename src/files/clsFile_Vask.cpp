#include "files/clsFile_Vask.h"

#include "files/basFile_Vask.h"

#include <shlwapi.h>

namespace calvorn::files {

bool clsFile_Vask::bFixedDisk() const {
    return GetOpenFileInfo(sFileName_).fFixedDisk != 0;
}

Date clsFile_Vask::dCreated() const {
    return FileTimeToDate(GetHandleFileInfo(sFileName_).ftCreationTime);
}

Date clsFile_Vask::dLastAccessed() const {
    return FileTimeToDate(GetHandleFileInfo(sFileName_).ftLastAccessTime);
}

Date clsFile_Vask::dLastModified() const {
    // Opened by its short name, like the other routines that want the 8.3
    // form; a volume without short names gives none, and then the name
    // itself serves.
    std::wstring shortName = GetShortFileName(sFileName_);
    return FileTimeToDate(
        GetHandleFileInfo(shortName.empty() ? sFileName_ : shortName).ftLastWriteTime);
}

std::wstring clsFile_Vask::sExpandedName() const {
    return GetExpandedFileName(sFileName_);
}

std::wstring clsFile_Vask::sShortName() const {
    return GetShortFileName(sFileName_);
}

std::int32_t clsFile_Vask::eAttributes() const {
    return GetAttributes(sFileName_);
}

void clsFile_Vask::eAttributes(std::int32_t value) const {
    SetAttributes(sFileName(), value);
}

std::int32_t clsFile_Vask::lSize() const {
    if (auto length = QueryFileLength(sFileName_))
        return *length;
    return GetOpenFileLength(sFileName_);
}

std::wstring clsFile_Vask::sName() const {
    return GetPathPart(sFileName_, ppName);
}

std::wstring clsFile_Vask::sNameAndExtension() const {
    return GetPathPart(sFileName_, ppName + ppExtension);
}

std::wstring clsFile_Vask::sExtension() const {
    return GetPathPart(sFileName_, ppExtension);
}

std::wstring clsFile_Vask::sPath() const {
    return GetPathPart(sFileName_, ppPath);
}

std::wstring clsFile_Vask::sDriveLetter() const {
    int n = ::PathGetDriveNumberW(sFileName_.c_str());
    if (n < 0 || n > 25)
        return {};
    return std::wstring(1, static_cast<wchar_t>(L'A' + n)) + L":";
}

std::wstring clsFile_Vask::sPathRoot() const {
    std::wstring root = GetPathRoot(sFileName_);
    bool blank = root.find_first_not_of(L' ') == std::wstring::npos;
    if (!blank && root.back() != L'\\')
        root += L'\\';
    return root;
}

bool clsFile_Vask::bNetworkPath() const {
    return ::PathIsNetworkPathW(sFileName_.c_str()) != FALSE;
}

bool clsFile_Vask::bUNCServerShare() const {
    return ::PathIsUNCServerShareW(sFileName_.c_str()) != FALSE;
}

bool clsFile_Vask::bUNCServer() const {
    return ::PathIsUNCServerW(sFileName_.c_str()) != FALSE;
}

bool clsFile_Vask::bUNC() const {
    return ::PathIsUNCW(sFileName_.c_str()) != FALSE;
}

std::int32_t clsFile_Vask::eVolumeType() const {
    std::wstring root = sPathRoot();
    return static_cast<std::int32_t>(::GetDriveTypeW(root.empty() ? nullptr : root.c_str()));
}

std::int32_t clsFile_Vask::lVolumeSerialNo() const {
    return static_cast<std::int32_t>(GetHandleFileInfo(sFileName_).dwVolumeSerialNumber);
}

std::wstring clsFile_Vask::sVolumeName() const {
    return GetVolumeInfo(sPathRoot()).VolumeName;
}

} // namespace calvorn::files
