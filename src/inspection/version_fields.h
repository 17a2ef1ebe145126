#pragma once
// The version resource of one file as sixteen text fields: nine string-table
// values and seven words decoded from the fixed file information.

#include <cstdint>
#include <string>

namespace calvorn::inspection {

class VersionFields {
  public:
    // Sets all sixteen fields for the file; never fails to its caller and
    // never throws: a damaged file gives empty fields, a file that could not
    // be read (or memory that ran out) gives ReadError.
    void SelectFile(const std::wstring& path);

    std::wstring CompanyName;
    std::wstring FileDescription;
    std::wstring InternalName;
    std::wstring LegalCopyright;
    std::wstring LegalTrademarks;
    std::wstring OriginalFileName;
    std::wstring ProductName;
    std::wstring ProductVersion;
    std::wstring Comments;
    std::wstring StrucVerEx;
    std::wstring FileVerEx;
    std::wstring ProdVerEx;
    std::wstring FileFlagsEx;
    std::wstring FileOSEx;
    std::wstring FileTypeEx;
    std::wstring FileSubTypeEx;

    // The system error that kept the file from being read (locked by
    // another program, gone), 0 when it was read, with or without a version
    // resource. The sixteen fields are empty when it is set.
    std::uint32_t ReadError = 0;

  private:
    void Read(const std::wstring& path);
};

} // namespace calvorn::inspection
