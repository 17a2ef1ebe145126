#include "inspection/pe_image.h"

#include <cstring>

namespace calvorn::inspection {

namespace {

constexpr std::size_t kDosHeaderSize = 64;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::uint32_t kHighBit = 0x80000000;
constexpr std::uint16_t kFileDll = 0x2000;

bool HasAt(FileReader& file, std::uint64_t offset, const char* magic, std::size_t length) {
    std::uint8_t bytes[8];
    return length <= sizeof bytes && file.Copy(offset, bytes, length) &&
           std::memcmp(bytes, magic, length) == 0;
}

PeHeadersResult Outcome(PeHeadersRead read) {
    return {read, {}};
}

} // namespace

PeDataDirectory PeHeaders::Directory(FileReader& file, PeDirectory which) const {
    const auto index = static_cast<std::uint32_t>(which);
    if (index >= directoryCount)
        return {};
    const std::uint64_t at = optionalHeader + (pe64 ? 112 : 96) + std::uint64_t{index} * 8;
    auto rva = file.Read32(at);
    auto size = file.Read32(at + 4);
    if (!rva || !size)
        return {};
    return {*rva, *size};
}

std::optional<std::uint32_t> PeHeaders::SectionOffsetOf(std::uint32_t rva) const {
    for (const PeSection& s : sections)
        if (s.virtualAddress <= rva &&
            static_cast<std::uint32_t>(s.virtualAddress + s.sizeOfRawData) > rva)
            return static_cast<std::uint32_t>(rva - s.virtualAddress + s.pointerToRawData);
    return std::nullopt;
}

std::optional<std::uint32_t> PeHeaders::FileOffsetOf(std::uint32_t rva) const {
    if (rva < sizeOfHeaders)
        return rva;
    return SectionOffsetOf(rva);
}

PeHeadersResult ReadPeHeaders(FileReader& file) {
    // Compressed files and Unix binaries may take other roads in the platform.
    if (HasAt(file, 0, "SZDD", 4) || HasAt(file, 0, "\177ELF", 4) ||
        HasAt(file, 0, "\xCE\xFA\xED\xFE", 4) || HasAt(file, 0, "\xFE\xED\xFA\xCE", 4))
        return Outcome(PeHeadersRead::OtherKind);
    if (file.size() < kDosHeaderSize || !HasAt(file, 0, "MZ", 2))
        return Outcome(PeHeadersRead::NotPe);
    const std::uint32_t lfanew = file.Read32(0x3C).value_or(kHighBit);
    if (lfanew >= kHighBit)
        return Outcome(PeHeadersRead::NotPe);
    if (!HasAt(file, lfanew, "PE\0\0", 4)) {
        // 16-bit files, and the like.
        if (HasAt(file, lfanew, "NE", 2) || HasAt(file, lfanew, "PE", 2))
            return Outcome(PeHeadersRead::OtherKind);
        return Outcome(PeHeadersRead::NotPe);
    }

    PeHeadersResult result{PeHeadersRead::Read, {}};
    PeHeaders& h = result.headers;
    h.fileHeader = std::uint64_t{lfanew} + 4;
    h.optionalHeader = h.fileHeader + 20;
    auto magic = file.Read16(h.optionalHeader);
    if (!magic || (*magic != 0x10B && *magic != 0x20B))
        return Outcome(PeHeadersRead::Damaged);
    h.pe64 = *magic == 0x20B;
    auto machine = file.Read16(h.fileHeader);
    auto sectionCount = file.Read16(h.fileHeader + 2);
    auto optionalSize = file.Read16(h.fileHeader + 16);
    auto characteristics = file.Read16(h.fileHeader + 18);
    auto sizeOfHeaders = file.Read32(h.optionalHeader + 60);
    auto directoryCount = file.Read32(h.optionalHeader + (h.pe64 ? 108 : 92));
    auto baseLow = file.Read32(h.optionalHeader + (h.pe64 ? 24 : 28));
    auto baseHigh = h.pe64 ? file.Read32(h.optionalHeader + 28) : std::optional<std::uint32_t>(0);
    if (!machine || !sectionCount || !optionalSize || !characteristics || !sizeOfHeaders ||
        !directoryCount || !baseLow || !baseHigh)
        return Outcome(PeHeadersRead::Damaged);
    h.machine = *machine;
    h.characteristics = *characteristics;
    h.sizeOfHeaders = *sizeOfHeaders;
    h.directoryCount = *directoryCount;
    h.imageBase = (std::uint64_t{*baseHigh} << 32) | *baseLow;

    const std::uint64_t table = h.optionalHeader + *optionalSize;
    if (!file.Contains(table, std::uint64_t{*sectionCount} * kSectionHeaderSize))
        return Outcome(PeHeadersRead::Damaged);
    h.sections.resize(*sectionCount);
    for (std::size_t i = 0; i < h.sections.size(); ++i) {
        const std::uint64_t at = table + i * kSectionHeaderSize;
        h.sections[i] = {file.Read32(at + 12).value_or(0), file.Read32(at + 16).value_or(0),
                         file.Read32(at + 20).value_or(0)};
    }
    return result;
}

ModuleFactsResult ReadModuleFacts(FileReader& file) {
    ModuleFactsResult result;
    const PeHeadersResult pe = ReadPeHeaders(file);
    if (pe.read != PeHeadersRead::Read) {
        result.read = file.Failed() ? ModuleRead::Unreadable : ModuleRead::NotWindowsModule;
        return result;
    }
    const PeHeaders& h = pe.headers;
    ModuleFacts& facts = result.facts;
    facts.machineCode = h.machine;
    switch (h.machine) {
    case 0x014C:
        facts.machine = Machine::X86;
        break;
    case 0x8664:
        facts.machine = Machine::X64;
        break;
    case 0xAA64:
        facts.machine = Machine::Arm64;
        break;
    default:
        facts.machine = Machine::Other;
        break;
    }
    facts.is64Bit = h.pe64;
    facts.isDll = (h.characteristics & kFileDll) != 0;
    const PeDataDirectory clr = h.Directory(file, PeDirectory::ClrRuntime);
    facts.isDotNet = clr.rva != 0 && clr.size != 0;
    ReadExports(file, h, facts);
    ReadImports(file, h, facts);
    result.read = file.Failed() ? ModuleRead::Unreadable : ModuleRead::Read;
    return result;
}

std::wstring MachineName(const ModuleFacts& facts) {
    switch (facts.machine) {
    case Machine::X86:
        return L"x86";
    case Machine::X64:
        return L"x64";
    case Machine::Arm64:
        return L"ARM64";
    case Machine::Other:
        break;
    }
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring hex = L"0x";
    for (int shift = 12; shift >= 0; shift -= 4)
        hex += digits[(facts.machineCode >> shift) & 0xF];
    return hex;
}

} // namespace calvorn::inspection
