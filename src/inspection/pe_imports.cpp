// The export names and the import tables of a PE image, walked within the
// file: a table that runs out of the file or never ends marks the facts as
// damaged instead of being followed further.

#include "inspection/pe_image.h"

#include <algorithm>
#include <string_view>

namespace calvorn::inspection {

namespace {

constexpr std::size_t kExportDirectorySize = 40;
constexpr std::size_t kImportDescriptorSize = 20;
constexpr std::size_t kDelayDescriptorSize = 32;
// No real module imports this many DLLs; a table that long is damage.
constexpr std::size_t kMaxImportedDlls = 1024;
// Longer names cannot be the entry points we look for, nor a DLL's file name.
constexpr std::size_t kMaxEntryName = 32;
constexpr std::size_t kMaxDllName = 260;

// A NUL-terminated ANSI name of at most `limit` characters.
std::optional<std::string> ReadName(FileReader& file, std::uint64_t offset, std::size_t limit) {
    std::string name;
    while (name.size() <= limit) {
        std::uint8_t c = 0;
        if (!file.Copy(offset + name.size(), &c, 1))
            return std::nullopt;
        if (c == 0)
            return name;
        name.push_back(static_cast<char>(c));
    }
    return std::nullopt;
}

bool SameDll(std::string_view a, std::string_view b) {
    const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

void AddImport(ModuleFacts& facts, std::string dll, bool delayLoaded) {
    for (const ModuleImport& known : facts.imports)
        if (SameDll(known.dll, dll))
            return;
    facts.imports.push_back({std::move(dll), delayLoaded});
}

// Reads a DLL name at an address; false (and damaged) when it is not inside
// the file or does not end.
bool TakeDllName(FileReader& file, const PeHeaders& headers, std::uint32_t rva, ModuleFacts& facts,
                 bool delayLoaded) {
    auto at = headers.FileOffsetOf(rva);
    auto name = at ? ReadName(file, *at, kMaxDllName) : std::nullopt;
    if (!name || name->empty()) {
        facts.damaged = true;
        return false;
    }
    AddImport(facts, std::move(*name), delayLoaded);
    return true;
}

} // namespace

void ReadExports(FileReader& file, const PeHeaders& headers, ModuleFacts& facts) {
    const PeDataDirectory dir = headers.Directory(file, PeDirectory::Export);
    if (dir.rva == 0)
        return;
    auto at = headers.FileOffsetOf(dir.rva);
    if (!at || !file.Contains(*at, kExportDirectorySize)) {
        facts.damaged = true;
        return;
    }
    const std::uint32_t nameCount = file.Read32(*at + 24).value_or(0);
    const std::uint32_t namesRva = file.Read32(*at + 32).value_or(0);
    if (nameCount == 0)
        return;
    auto names = headers.FileOffsetOf(namesRva);
    if (!names || !file.Contains(*names, std::uint64_t{nameCount} * 4)) {
        facts.damaged = true;
        return;
    }
    for (std::uint32_t i = 0; i < nameCount; ++i) {
        auto nameAt = headers.FileOffsetOf(file.Read32(*names + std::uint64_t{i} * 4).value_or(0));
        if (!nameAt) {
            facts.damaged = true;
            continue;
        }
        // A longer name is simply not one of ours.
        const auto name = ReadName(file, *nameAt, kMaxEntryName);
        if (!name)
            continue;
        if (*name == "DllRegisterServer")
            facts.exportsRegister = true;
        else if (*name == "DllUnregisterServer")
            facts.exportsUnregister = true;
        else if (*name == "DllInstall")
            facts.exportsInstall = true;
        if (facts.exportsRegister && facts.exportsUnregister && facts.exportsInstall)
            return;
    }
}

void ReadImports(FileReader& file, const PeHeaders& headers, ModuleFacts& facts) {
    const PeDataDirectory direct = headers.Directory(file, PeDirectory::Import);
    if (direct.rva != 0) {
        auto at = headers.FileOffsetOf(direct.rva);
        std::size_t i = 0;
        for (; at && i < kMaxImportedDlls; ++i) {
            const std::uint64_t entry = *at + i * kImportDescriptorSize;
            auto name = file.Read32(entry + 12);
            auto thunks = file.Read32(entry + 16);
            if (!name || !thunks) {
                at.reset();
                break;
            }
            // The loader stops at the first entry without a name or thunks.
            if (*name == 0 || *thunks == 0)
                break;
            TakeDllName(file, headers, *name, facts, false);
        }
        if (!at || i == kMaxImportedDlls)
            facts.damaged = true;
    }

    const PeDataDirectory delayed = headers.Directory(file, PeDirectory::DelayImport);
    if (delayed.rva != 0) {
        auto at = headers.FileOffsetOf(delayed.rva);
        std::size_t i = 0;
        for (; at && i < kMaxImportedDlls; ++i) {
            const std::uint64_t entry = *at + i * kDelayDescriptorSize;
            auto attributes = file.Read32(entry);
            auto name = file.Read32(entry + 4);
            if (!attributes || !name) {
                at.reset();
                break;
            }
            if (*name == 0)
                break;
            // Old linkers wrote addresses rather than offsets from the image
            // (the first attribute bit is clear then).
            const std::uint32_t rva = (*attributes & 1) != 0
                                          ? *name
                                          : static_cast<std::uint32_t>(*name - headers.imageBase);
            TakeDllName(file, headers, rva, facts, true);
        }
        if (!at || i == kMaxImportedDlls)
            facts.damaged = true;
    }
}

} // namespace calvorn::inspection
