#pragma once
// The version resource of one file as sixteen text fields: nine string-table
// values and seven words decoded from the fixed file information.

#include "inspection/file_reader.h"
#include "inspection/version_block.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace calvorn::inspection {

class VersionFields {
  public:
    // Sets all sixteen fields for the file; never fails to its caller and
    // never throws: a damaged file gives empty fields, a file that could not
    // be read (or memory that ran out) gives ReadError.
    void SelectFile(const std::wstring& path);
    // The same from a reader over the file's bytes already at hand;
    // `readFailure` tells the system error of a read the system refused.
    void SelectFile(const std::wstring& path, FileReader& reader,
                    const std::function<std::uint32_t()>& readFailure);

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

    // What an inventory reports beside them: the version text people quote,
    // the builds' notes, where the strings came from ("0409 04B0", see
    // VersionStringTable), whether the table names the file self-registering,
    // and the fixed information's numbers as they stand.
    std::wstring FileVersion;
    std::wstring PrivateBuild;
    std::wstring SpecialBuild;
    std::string Language;
    bool OleSelfRegister = false;
    std::optional<FixedFileInfo> Fixed;

    // The system error that kept the file from being read (locked by
    // another program, gone), 0 when it was read, with or without a version
    // resource. The sixteen fields are empty when it is set.
    std::uint32_t ReadError = 0;

  private:
    void Read(const std::wstring& path);
    void Fill(const VersionBlockBytes& block);
};

} // namespace calvorn::inspection
