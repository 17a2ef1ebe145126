#include "inspection/version_fields.h"

#include "inspection/pe_version_reader.h"
#include "inspection/version_block.h"
#include "platform/error_record.h"

#include <windows.h>

namespace calvorn::inspection {

namespace {

// A value of a 16-bit block in the code page its table names, or the
// system's ANSI code page when the table names none the system knows.
std::wstring SingleByteString(ByteSpan block, std::wstring_view key) {
    const std::string asciiKey(key.begin(), key.end());
    const auto found = FindVersionString16(block, asciiKey);
    if (!found || found->bytes.empty())
        return {};
    const UINT codePage =
        found->codePage != 0 && ::IsValidCodePage(found->codePage) ? found->codePage : CP_ACP;
    const int size = static_cast<int>(found->bytes.size());
    const int n = ::MultiByteToWideChar(codePage, 0, found->bytes.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(codePage, 0, found->bytes.data(), size, wide.data(), n);
    return wide;
}

} // namespace

void VersionFields::SelectFile(const std::wstring& path) {
    // Nothing may carry over from the file selected before.
    *this = VersionFields{};
    // One file, however damaged, must not end the report of a folder: what
    // goes wrong while reading it is that file's alone.
    try {
        Read(path);
    } catch (...) {
        // The file is reported unreadable with what went wrong, never as a
        // file without version information.
        *this = VersionFields{};
        ReadError = static_cast<std::uint32_t>(platform::CurrentFailure().number);
    }
}

void VersionFields::SelectFile(const std::wstring& path, FileReader& reader,
                               const std::function<std::uint32_t()>& readFailure) {
    *this = VersionFields{};
    try {
        Fill(ReadVersionBlock(path, reader, readFailure, ReadError));
    } catch (...) {
        *this = VersionFields{};
        ReadError = static_cast<std::uint32_t>(platform::CurrentFailure().number);
    }
}

void VersionFields::Read(const std::wstring& path) {
    // One read serves the nine lookups and the decoder.
    Fill(ReadVersionBlock(path, ReadError));
}

void VersionFields::Fill(const VersionBlockBytes& block) {
    if (block.empty())
        return;
    const ByteSpan bytes(block);
    const bool sixteenBit = IsSixteenBitBlock(bytes);
    const auto text = [&](std::wstring_view key) {
        return sixteenBit ? SingleByteString(bytes, key) : FindVersionString(bytes, key);
    };
    CompanyName = text(L"CompanyName");
    FileDescription = text(L"FileDescription");
    InternalName = text(L"InternalName");
    LegalCopyright = text(L"LegalCopyright");
    LegalTrademarks = text(L"LegalTrademarks");
    OriginalFileName = text(L"OriginalFileName");
    ProductName = text(L"ProductName");
    ProductVersion = text(L"ProductVersion");
    Comments = text(L"Comments");
    FileVersion = text(L"FileVersion");
    PrivateBuild = text(L"PrivateBuild");
    SpecialBuild = text(L"SpecialBuild");
    OleSelfRegister = VersionStringTable(bytes, "OLESelfRegister").has_value();
    // The table of the first string the file has, in the report's order.
    for (const char* key : {"CompanyName", "FileDescription", "FileVersion", "InternalName",
                            "LegalCopyright", "OriginalFilename", "ProductName", "ProductVersion"})
        if (auto table = VersionStringTable(bytes, key)) {
            Language = std::move(*table);
            break;
        }
    Fixed = ReadFixedInfo(bytes);
    if (const auto& fixed = Fixed) {
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
