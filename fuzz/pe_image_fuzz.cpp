// Arbitrary bytes as a module: the headers, export names and import tables
// must be read without leaving the file, and the walk must end.

#include "inspection/file_reader.h"
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
    return 0;
}
