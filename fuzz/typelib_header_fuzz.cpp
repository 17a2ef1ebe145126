// Arbitrary bytes as a type library or a module holding one: the header,
// its segment directory, the type records and the name and string tables must
// be read without leaving the file.

#include "inspection/file_reader.h"
#include "inspection/typelib_header.h"

#include <cstddef>
#include <cstdint>

using namespace calvorn::inspection;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FileReader file = FileReader::OverBytes(ByteSpan(data, size));
    if (auto header = ReadTypeLibHeader(file)) {
        if (header->name.size() > 255 || header->helpString.size() > 32767)
            __builtin_trap();
        for (char c : header->name + header->helpString)
            if (c == '\0' || static_cast<unsigned char>(c) >= 0x80)
                __builtin_trap();
        // Each type has a record of 0x64 bytes in the file.
        if (header->types && header->types->size() > size / 0x64)
            __builtin_trap();
        for (const HeaderType& type : header->types ? *header->types : std::vector<HeaderType>{})
            for (char c : type.name)
                if (c == '\0' || static_cast<unsigned char>(c) >= 0x80)
                    __builtin_trap();
    }
    return 0;
}
