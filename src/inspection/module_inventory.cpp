#include "inspection/module_inventory.h"

#include "inspection/pe_image.h"

#include <algorithm>
#include <cstdio>

namespace calvorn::inspection {

namespace {

constexpr std::uint32_t kHighBit = 0x80000000;
constexpr std::uint64_t kDosHeaderSize = 64;
constexpr std::uint64_t kDebugEntrySize = 28;
constexpr std::uint32_t kDebugTypeRepro = 16;
// No linker writes more; a longer directory is damage, and is read no further.
constexpr std::uint64_t kMaxDebugEntries = 64;
// 100-ns intervals between 1601 and 1970, and in a day.
constexpr std::uint64_t kUnixEpoch = 116444736000000000ull;
constexpr std::uint64_t kDay = 864000000000ull;
// 1993-01-01 00:00:00 UTC.
constexpr std::uint32_t kFirstPeYear = 725846400u;

std::string MachineText(std::uint16_t code) {
    switch (code) {
    case 0x014C:
        return "x86";
    case 0x8664:
        return "x64";
    case 0xAA64:
        return "arm64";
    default:
        char text[8];
        std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(code));
        return text;
    }
}

bool MarkedReproducible(FileReader& file, const PeHeaders& headers) {
    const PeDataDirectory debug = headers.Directory(file, PeDirectory::Debug);
    auto at = debug.rva ? headers.FileOffsetOf(debug.rva) : std::nullopt;
    if (!at)
        return false;
    const std::uint64_t count =
        std::min<std::uint64_t>(debug.size / kDebugEntrySize, kMaxDebugEntries);
    for (std::uint64_t i = 0; i < count; ++i)
        if (file.Read32(*at + i * kDebugEntrySize + 12) == kDebugTypeRepro)
            return true;
    return false;
}

} // namespace

bool IsModuleContent(FileReader& file) {
    return file.size() >= kDosHeaderSize && file.Read16(0) == std::uint16_t{'M' | ('Z' << 8)};
}

std::uint64_t StampToFileTime(std::uint32_t stamp) {
    return kUnixEpoch + std::uint64_t{stamp} * 10000000u;
}

bool StampIsLinkTime(std::uint32_t stamp, bool reproducible,
                     std::optional<std::uint64_t> lastWrite) {
    if (reproducible || stamp < kFirstPeYear)
        return false;
    return !lastWrite || StampToFileTime(stamp) <= *lastWrite + kDay;
}

ModuleInventory ReadModuleInventory(FileReader& file) {
    ModuleInventory inventory;
    if (!IsModuleContent(file)) {
        // A type library file, when the user asked for its kind.
        inventory.typeLib = ReadTypeLibHeader(file);
        return inventory;
    }
    const std::uint32_t lfanew = file.Read32(0x3C).value_or(kHighBit);
    std::uint8_t signature[4] = {};
    const bool pe = lfanew < kHighBit && file.Copy(lfanew, signature, 4) && signature[0] == 'P' &&
                    signature[1] == 'E' && signature[2] == 0 && signature[3] == 0;
    const auto machine = pe ? file.Read16(std::uint64_t{lfanew} + 4) : std::nullopt;
    if (!machine) {
        inventory.machine = "16-bit";
        return inventory;
    }
    inventory.machine = MachineText(*machine);
    inventory.linkStamp = file.Read32(std::uint64_t{lfanew} + 8);
    const PeHeadersResult headers = ReadPeHeaders(file);
    if (headers.read != PeHeadersRead::Read)
        return inventory;
    const PeHeaders& h = headers.headers;
    const PeDataDirectory clr = h.Directory(file, PeDirectory::ClrRuntime);
    inventory.dotnet = clr.rva != 0 && clr.size != 0;
    inventory.reproducible = MarkedReproducible(file, h);
    ModuleFacts facts;
    ReadExports(file, h, facts);
    inventory.exportsRegister = facts.exportsRegister;
    inventory.typeLib = ReadTypeLibHeader(file);
    inventory.typeLibUnread = !inventory.typeLib && HasTypeLibResource(file);
    return inventory;
}

} // namespace calvorn::inspection
