// Arbitrary bytes as a file: the walk from the PE headers through the
// resource tree to the version block must stay inside the file.

#include "inspection/file_reader.h"
#include "inspection/pe_resource_locator.h"

#include <cstddef>
#include <cstdint>

using namespace calvorn::inspection;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FileReader file = FileReader::OverBytes(ByteSpan(data, size));
    const LocaleLanguages languages{0x0407, 0x0409, 0x040c};
    VersionResource found = LocateVersionResource(file, languages);
    if (found.lookup == VersionLookup::Found) {
        if (!file.Contains(found.offset, found.size))
            __builtin_trap();
        if (auto block = ReadResourceBlock(file, found)) {
            FindVersionString(ByteSpan(block->data(), block->size()), L"ProductName");
            ReadFixedInfo(ByteSpan(block->data(), block->size()));
        }
    }
    return 0;
}
