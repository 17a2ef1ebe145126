// Arbitrary bytes as a version block: the walk of its tables and the fixed
// information must stay inside the bytes and keep their promises.

#include "inspection/version_block.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace calvorn::inspection;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteSpan block = ClipToRoot(ByteSpan(data, size));
    if (block.size() > size)
        __builtin_trap();
    for (const wchar_t* key : {L"CompanyName", L"ProductName", L"OriginalFileName", L"Comments"}) {
        const std::wstring value = FindVersionString(block, key);
        // A value is text between NULs: it never holds one, nor outgrows the block.
        if (value.find(L'\0') != std::wstring::npos || value.size() * 2 > block.size())
            __builtin_trap();
    }
    for (const char* key : {"CompanyName", "ProductName", "OriginalFileName"}) {
        auto value = FindVersionString16(block, key);
        if (value &&
            (value->bytes.find('\0') != std::string::npos || value->bytes.size() > block.size()))
            __builtin_trap();
    }
    if (auto fixed = ReadFixedInfo(block)) {
        if (fixed->dwSignature != 0xFEEF04BD)
            __builtin_trap();
        const FixedInfoWords words = DecodeFixedInfo(*fixed);
        if (words.FileVerEx.empty() || words.FileOSEx.empty() || words.FileTypeEx.empty())
            __builtin_trap();
        if (!words.FileSubTypeEx.empty() && fixed->dwFileType != 3 && fixed->dwFileType != 4)
            __builtin_trap();
    }
    return 0;
}
