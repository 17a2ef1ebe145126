#include "inspection/clsFileInfo.h"

#include "inspection/pe_version_reader.h"
#include "inspection/version_block.h"

namespace calvorn::inspection {

void clsFileInfo::SelectFile(const std::wstring& path) {
    // Nothing may carry over from the file selected before.
    *this = clsFileInfo{};
    // One read serves the nine lookups and the decoder.
    const VersionBlock block = ReadVersionBlock(path);
    if (block.empty())
        return;
    const ByteSpan bytes(block);
    CompanyName = FindVersionString(bytes, L"CompanyName");
    FileDescription = FindVersionString(bytes, L"FileDescription");
    InternalName = FindVersionString(bytes, L"InternalName");
    LegalCopyright = FindVersionString(bytes, L"LegalCopyright");
    LegalTrademarks = FindVersionString(bytes, L"LegalTrademarks");
    OriginalFileName = FindVersionString(bytes, L"OriginalFileName");
    ProductName = FindVersionString(bytes, L"ProductName");
    ProductVersion = FindVersionString(bytes, L"ProductVersion");
    Comments = FindVersionString(bytes, L"Comments");
    if (auto fixed = ReadFixedInfo(bytes)) {
        auto words = DecodeFixedInfo(*fixed);
        StrucVerEx = std::move(words.StrucVerEx);
        FileVerEx = std::move(words.FileVerEx);
        ProdVerEx = std::move(words.ProdVerEx);
        FileFlagsEx = std::move(words.FileFlagsEx);
        FileOSEx = std::move(words.FileOSEx);
        FileTypeEx = std::move(words.FileTypeEx);
        FileSubTypeEx = std::move(words.FileSubTypeEx);
    }
}

} // namespace calvorn::inspection
