// Arbitrary bytes as a module: the headers, export names and import tables
// (and what an inventory reads: the debug directory, the type library's
// header) must be read without leaving the file, and the walk must end.

#include "inspection/file_reader.h"
#include "inspection/module_inventory.h"
#include "inspection/pe_image.h"

#include <cstddef>
#include <cstdint>

using namespace calvorn::inspection;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FileReader file = FileReader::OverBytes(ByteSpan(data, size));
    const ModuleFactsResult result = ReadModuleFacts(file);
    if (result.read == ModuleRead::Read) {
        for (const ModuleImport& import : result.facts.imports)
            if (import.dll.empty() || import.dll.size() > 260)
                __builtin_trap();
        MachineName(result.facts);
    }
    FileReader again = FileReader::OverBytes(ByteSpan(data, size));
    const ModuleInventory inventory = ReadModuleInventory(again);
    if (inventory.machine.empty() || (inventory.typeLib && inventory.typeLibUnread))
        __builtin_trap();
    return 0;
}
