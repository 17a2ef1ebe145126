#pragma once
// A minimal 32-bit PE image with one resource section holding version
// resources in the languages asked for, each block naming its language in
// the second character of its ProductName (with the top bit set).

#include "block_builder.h"

#include <algorithm>
#include <utility>

namespace calvorn::test {

struct PeImage {
    Bytes bytes;
    std::size_t languageDir = 0; // file offset of the language directory
};

inline constexpr std::size_t kSectionStart = 0x200;
inline constexpr std::uint32_t kSectionRva = 0x1000;

// Resources: (type, name, language) -> block. The tree is laid out sorted by
// number as resource compilers do.
// Each block names its language unless `block` is given for all of them.
inline PeImage BuildPe(std::vector<std::uint16_t> languages, std::uint16_t type = 16,
                       std::uint16_t name = 1, const Bytes& block = {}) {
    std::sort(languages.begin(), languages.end());
    PeImage pe;
    Bytes& b = pe.bytes;
    b.assign(kSectionStart, 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, 0x40);
    b[0x40] = 'P';
    b[0x41] = 'E';
    const std::size_t fileHeader = 0x44;
    Put16(b, fileHeader + 2, 1);     // sections
    Put16(b, fileHeader + 16, 0xE0); // optional header size
    const std::size_t optional = fileHeader + 20;
    Put16(b, optional, 0x10B);
    Put32(b, optional + 60, kSectionStart); // SizeOfHeaders
    Put32(b, optional + 92, 16);            // NumberOfRvaAndSizes
    Put32(b, optional + 96 + 16, kSectionRva);
    const std::size_t section = optional + 0xE0;

    // Root (one type) -> type dir (one name) -> language dir -> data entries.
    Bytes tree;
    auto directory = [&tree](std::size_t entries) {
        const std::size_t at = tree.size();
        tree.resize(at + 16 + entries * 8, 0);
        Put16(tree, at + 14, static_cast<std::uint16_t>(entries));
        return at;
    };
    const std::size_t root = directory(1);
    const std::size_t typeDir = directory(1);
    const std::size_t langDir = directory(languages.size());
    Put16(tree, root + 16, type);
    Put32(tree, root + 20, 0x80000000u | static_cast<std::uint32_t>(typeDir));
    Put16(tree, typeDir + 16, name);
    Put32(tree, typeDir + 20, 0x80000000u | static_cast<std::uint32_t>(langDir));
    std::vector<std::size_t> dataEntries;
    for (std::size_t i = 0; i < languages.size(); ++i) {
        dataEntries.push_back(tree.size());
        tree.resize(tree.size() + 16, 0);
        Put16(tree, langDir + 16 + i * 8, languages[i]);
        Put32(tree, langDir + 20 + i * 8, static_cast<std::uint32_t>(dataEntries.back()));
    }
    for (std::size_t i = 0; i < languages.size(); ++i) {
        PadTo4(tree);
        const Bytes named = VersionBlock(
            {Table(u"000004B0", {String(u"ProductName",
                                        std::u16string(1, u'A') +
                                            std::u16string(1, char16_t(languages[i] | 0x8000)))})});
        const Bytes& data = block.empty() ? named : block;
        Put32(tree, dataEntries[i], kSectionRva + static_cast<std::uint32_t>(tree.size()));
        Put32(tree, dataEntries[i] + 4, static_cast<std::uint32_t>(data.size()));
        tree.insert(tree.end(), data.begin(), data.end());
    }
    Put32(b, optional + 96 + 20, static_cast<std::uint32_t>(tree.size()));
    Put32(b, section + 8, static_cast<std::uint32_t>(tree.size())); // VirtualSize
    Put32(b, section + 12, kSectionRva);
    Put32(b, section + 16, static_cast<std::uint32_t>(tree.size())); // SizeOfRawData
    Put32(b, section + 20, kSectionStart);
    b.insert(b.end(), tree.begin(), tree.end());
    pe.languageDir = kSectionStart + langDir;
    return pe;
}

} // namespace calvorn::test

namespace calvorn::test {

// A module image for the header reader: one section holding the export,
// import and delay-import tables and a CLR header, as asked.
struct ModuleLayout {
    std::uint16_t machine = 0x014C;
    bool pe64 = false;
    bool dll = true;
    std::vector<std::string> exports = {};
    std::vector<std::string> imports = {};
    std::vector<std::string> delayImports = {};
    bool oldStyleDelay = false; // addresses instead of offsets from the image
    bool clr = false;
    std::uint32_t stamp = 0;
    bool reproducible = false; // a debug directory entry of the reproducible kind
};

struct ModuleImage {
    Bytes bytes;
    std::size_t optionalHeader = 0; // file offsets
    std::size_t importTable = 0;
    std::size_t exportTable = 0;
};

inline ModuleImage BuildModule(const ModuleLayout& layout) {
    constexpr std::uint32_t kImageBase = 0x10000000;
    ModuleImage image;
    Bytes& b = image.bytes;
    b.assign(kSectionStart, 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, 0x40);
    b[0x40] = 'P';
    b[0x41] = 'E';
    const std::size_t fileHeader = 0x44;
    const std::uint16_t optionalSize = layout.pe64 ? 0xF0 : 0xE0;
    Put16(b, fileHeader, layout.machine);
    Put16(b, fileHeader + 2, 1);
    Put32(b, fileHeader + 4, layout.stamp);
    Put16(b, fileHeader + 16, optionalSize);
    Put16(b, fileHeader + 18, layout.dll ? 0x2102 : 0x0102);
    const std::size_t optional = fileHeader + 20;
    image.optionalHeader = optional;
    Put16(b, optional, layout.pe64 ? 0x20B : 0x10B);
    Put32(b, optional + (layout.pe64 ? 24 : 28), kImageBase);
    Put32(b, optional + 60, kSectionStart);
    Put32(b, optional + (layout.pe64 ? 108 : 92), 16);
    const std::size_t directories = optional + (layout.pe64 ? 112 : 96);
    const std::size_t section = optional + optionalSize;

    Bytes data;
    auto rva = [](std::size_t at) { return kSectionRva + static_cast<std::uint32_t>(at); };
    auto name = [&data, &rva](const std::string& text) {
        const std::size_t at = data.size();
        data.insert(data.end(), text.begin(), text.end());
        data.push_back(0);
        return rva(at);
    };
    auto directory = [&b, directories](int index, std::uint32_t at, std::uint32_t size) {
        Put32(b, directories + index * 8, at);
        Put32(b, directories + index * 8 + 4, size);
    };
    if (!layout.exports.empty()) {
        const std::size_t table = data.size();
        data.resize(table + 40 + layout.exports.size() * 4, 0);
        Put32(data, table + 24, static_cast<std::uint32_t>(layout.exports.size()));
        Put32(data, table + 32, rva(table + 40));
        for (std::size_t i = 0; i < layout.exports.size(); ++i)
            Put32(data, table + 40 + i * 4, name(layout.exports[i]));
        directory(0, rva(table), 40);
        image.exportTable = kSectionStart + table;
    }
    if (!layout.imports.empty()) {
        PadTo4(data);
        const std::size_t table = data.size();
        data.resize(table + (layout.imports.size() + 1) * 20, 0);
        for (std::size_t i = 0; i < layout.imports.size(); ++i) {
            Put32(data, table + i * 20 + 12, name(layout.imports[i]));
            Put32(data, table + i * 20 + 16, rva(table)); // thunks: any non-zero address
        }
        directory(1, rva(table), static_cast<std::uint32_t>((layout.imports.size() + 1) * 20));
        image.importTable = kSectionStart + table;
    }
    if (!layout.delayImports.empty()) {
        PadTo4(data);
        const std::size_t table = data.size();
        data.resize(table + (layout.delayImports.size() + 1) * 32, 0);
        for (std::size_t i = 0; i < layout.delayImports.size(); ++i) {
            const std::uint32_t at = name(layout.delayImports[i]);
            Put32(data, table + i * 32, layout.oldStyleDelay ? 0 : 1);
            Put32(data, table + i * 32 + 4, layout.oldStyleDelay ? at + kImageBase : at);
        }
        directory(13, rva(table),
                  static_cast<std::uint32_t>((layout.delayImports.size() + 1) * 32));
    }
    if (layout.clr) {
        PadTo4(data);
        const std::size_t header = data.size();
        data.resize(header + 72, 0);
        Put32(data, header, 72);
        directory(14, rva(header), 72);
    }
    if (layout.reproducible) {
        PadTo4(data);
        const std::size_t entries = data.size();
        data.resize(entries + 56, 0);
        Put32(data, entries + 12, 2); // a CodeView entry, then the marker
        Put32(data, entries + 28 + 12, 16);
        directory(6, rva(entries), 56);
    }
    data.resize(std::max<std::size_t>(data.size(), 16), 0);
    Put32(b, section + 8, static_cast<std::uint32_t>(data.size()));
    Put32(b, section + 12, kSectionRva);
    Put32(b, section + 16, static_cast<std::uint32_t>(data.size()));
    Put32(b, section + 20, kSectionStart);
    b.insert(b.end(), data.begin(), data.end());
    return image;
}

} // namespace calvorn::test

namespace calvorn::test {

// A 16-bit NE file whose resource table holds one RT_VERSION entry for
// `block`; the numbers a damaged file gets wrong can be set.
struct NeLayout {
    std::uint16_t shift = 4;
    int lengthUnits = -1; // default: the block's, rounded up
    int offsetUnits = -1; // default: where the block is
    std::uint16_t type = 0x8010;
    std::uint16_t count = 1;
    bool terminated = true; // the table ends with a type of 0
};

inline constexpr std::size_t kNeHeader = 0x40;
inline constexpr std::size_t kNeTable = 0x80;
inline constexpr std::size_t kNeData = 0x100;

inline Bytes BuildNe(const Bytes& block, const NeLayout& layout = {}) {
    Bytes b(kNeData, 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, kNeHeader);
    b[kNeHeader] = 'N';
    b[kNeHeader + 1] = 'E';
    const std::size_t unit = std::size_t{1} << (layout.shift & 15);
    std::size_t at = kNeTable;
    Put16(b, at, layout.shift);
    Put16(b, at + 2, layout.type);
    Put16(b, at + 4, layout.count);
    at += 10;
    Put16(
        b, at,
        static_cast<std::uint16_t>(layout.offsetUnits >= 0 ? layout.offsetUnits : kNeData / unit));
    Put16(b, at + 2,
          static_cast<std::uint16_t>(layout.lengthUnits >= 0 ? layout.lengthUnits
                                                             : (block.size() + unit - 1) / unit));
    Put16(b, at + 4, 0x30);
    Put16(b, at + 6, 0x8001);
    at += 12;
    if (layout.terminated)
        at += 2; // the type of 0
    Put16(b, kNeHeader + 0x24, static_cast<std::uint16_t>(kNeTable - kNeHeader));
    Put16(b, kNeHeader + 0x26, static_cast<std::uint16_t>(at - kNeHeader));
    b.insert(b.end(), block.begin(), block.end());
    b.resize(kNeData + (block.size() + unit - 1) / unit * unit, 0);
    return b;
}

} // namespace calvorn::test
