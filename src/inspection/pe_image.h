#pragma once
// The headers of a PE image and the facts about a module that can be known
// without loading it: what machine it is built for, whether it is a DLL,
// which registration entry points it exports, whether it is a .NET assembly
// and which DLLs it imports. No platform headers (fuzzable); every number
// taken from the file is treated as hostile.

#include "inspection/file_reader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace calvorn::inspection {

struct PeSection {
    std::uint32_t virtualAddress = 0;
    std::uint32_t sizeOfRawData = 0;
    std::uint32_t pointerToRawData = 0;
};

struct PeDataDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

// The data directories that this program reads.
enum class PeDirectory : std::uint32_t {
    Export = 0,
    Import = 1,
    Resource = 2,
    Security = 4, // its address is a file offset
    Debug = 6,
    DelayImport = 13,
    ClrRuntime = 14,
};

struct PeHeaders {
    std::uint64_t fileHeader = 0; // file offsets
    std::uint64_t optionalHeader = 0;
    std::uint16_t machine = 0;
    std::uint16_t characteristics = 0;
    bool pe64 = false;
    std::uint64_t imageBase = 0;
    std::uint32_t sizeOfHeaders = 0;
    std::uint32_t directoryCount = 0;
    std::vector<PeSection> sections;

    // Zero rva and size when the image has no such directory.
    PeDataDirectory Directory(FileReader& file, PeDirectory which) const;
    // The file offset of an address: inside the headers as it is, else the
    // first section whose raw extent holds it, the sums wrapping at 32 bits
    // as the platform's own do.
    std::optional<std::uint32_t> FileOffsetOf(std::uint32_t rva) const;
    // Only the sections, as the resource loader maps them.
    std::optional<std::uint32_t> SectionOffsetOf(std::uint32_t rva) const;
};

enum class PeHeadersRead {
    Read,
    NotPe,     // no MZ and PE signatures: not something the loader takes
    OtherKind, // a 16-bit or compressed file, or one for another system
    Damaged,   // the signatures are there but the headers do not hold together
};

struct PeHeadersResult {
    PeHeadersRead read = PeHeadersRead::NotPe;
    PeHeaders headers;
};

PeHeadersResult ReadPeHeaders(FileReader& file);

enum class Machine { X86, X64, Arm64, Other };

struct ModuleImport {
    std::string dll; // as the image names it
    bool delayLoaded = false;
};

struct ModuleFacts {
    Machine machine = Machine::Other;
    std::uint16_t machineCode = 0; // as the file header holds it
    bool is64Bit = false;
    bool isDll = false;
    bool exportsRegister = false;   // DllRegisterServer
    bool exportsUnregister = false; // DllUnregisterServer
    bool exportsInstall = false;    // DllInstall
    bool isDotNet = false;          // has a CLR header
    std::vector<ModuleImport> imports;
    // Some table points outside the file or does not end: what it held up
    // to there is listed, the rest is unknown.
    bool damaged = false;
};

enum class ModuleRead { Read, NotWindowsModule, Unreadable };

struct ModuleFactsResult {
    ModuleRead read = ModuleRead::Unreadable;
    ModuleFacts facts;
};

ModuleFactsResult ReadModuleFacts(FileReader& file);

// Named entry points, and the imported DLLs in the image's own order
// (implemented in pe_imports.cpp).
void ReadExports(FileReader& file, const PeHeaders& headers, ModuleFacts& facts);
void ReadImports(FileReader& file, const PeHeaders& headers, ModuleFacts& facts);

// "x86", "x64", "ARM64" or the machine number in hexadecimal.
std::wstring MachineName(const ModuleFacts& facts);

} // namespace calvorn::inspection
