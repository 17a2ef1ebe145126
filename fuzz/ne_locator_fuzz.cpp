// Arbitrary bytes as a 16-bit file: the walk from the NE header through the
// resource table to the version block must stay inside the file, and what it
// finds must fit the file and hold at least the fixed information.

#include "inspection/file_reader.h"
#include "inspection/pe_resource_locator.h"

#include <cstddef>
#include <cstdint>

using namespace calvorn::inspection;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FileReader file = FileReader::OverBytes(ByteSpan(data, size));
    const auto neHeader = NeHeaderOffset(file);
    if (!neHeader)
        return 0;
    const VersionResource found = LocateNeVersionResource(file, *neHeader);
    if (found.lookup == VersionLookup::Undecided)
        __builtin_trap();
    if (found.lookup != VersionLookup::Found)
        return 0;
    if (!file.Contains(found.offset, found.size) || found.size < kFixedFileInfoSize ||
        found.size > kMaxVersionResourceSize || !found.sixteenBitFile)
        __builtin_trap();
    if (auto block = ReadResourceBlock(file, found)) {
        if (block->size() > 0xFFFF)
            __builtin_trap();
        const ByteSpan bytes(block->data(), block->size());
        FindVersionString16(bytes, "ProductName");
        FindVersionString(bytes, L"ProductName");
        ReadFixedInfo(bytes);
    }
    return 0;
}
