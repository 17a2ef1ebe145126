#pragma once
// One file, described by its full path name. Only the name is stored; every
// other property is read anew from the file system on each call and gives
// its failure value when the file or its volume cannot be reached.

#include "files/path_logic.h"

#include <cstdint>
#include <string>

namespace calvorn::files {

// File attribute bits as the platform reports them; -1 for a missing name.
enum FileAttribute : std::int32_t {
    faMissing = -1,
    faReadOnly = 1,
    faHidden = 2,
    faSystem = 4,
    faDirectory = 16,
    faArchive = 32,
    faNormal = 128,
    faTemporary = 256,
    faCompressed = 2048,
};

// The platform's drive types.
enum VolumeType : std::int32_t {
    vtUnknown = 0,
    vtNoRootDir = 1,
    vtRemovable = 2,
    vtFixed = 3,
    vtRemote = 4,
    vtCdRom = 5,
    vtRamDisk = 6,
};

class FileFacts {
  public:
    const std::wstring& sFileName() const { return sFileName_; }
    void sFileName(const std::wstring& value) { sFileName_ = value; }

    bool bFixedDisk() const;
    // Stored file-system times (no conversion to local time); 1 January 1601
    // when the file cannot be opened.
    Date dCreated() const;
    Date dLastAccessed() const;
    Date dLastModified() const;
    std::wstring sExpandedName() const;
    std::wstring sShortName() const;
    std::int32_t eAttributes() const;
    // Sets the attribute bits; a failure is not reported.
    void eAttributes(std::int32_t value) const;
    std::int32_t lSize() const;

    // From the text of the name alone.
    std::wstring sName() const;
    std::wstring sNameAndExtension() const;
    std::wstring sExtension() const;
    std::wstring sPath() const;
    std::wstring sDriveLetter() const;
    std::wstring sPathRoot() const;
    bool bNetworkPath() const;
    bool bUNCServerShare() const;
    bool bUNCServer() const;
    bool bUNC() const;

    // Of the volume that holds the file. An empty root asks about the drive
    // of the current folder.
    std::int32_t eVolumeType() const;
    std::int32_t lVolumeSerialNo() const;
    std::wstring sVolumeName() const;

  private:
    std::wstring sFileName_;
};

} // namespace calvorn::files
