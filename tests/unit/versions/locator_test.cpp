#include "inspection/pe_resource_locator.h"
#include "pe_builder.h"

#include <gtest/gtest.h>

using namespace calvorn::inspection;
using namespace calvorn::test;

namespace {

VersionResource Locate(const Bytes& bytes, LocaleLanguages languages = {}) {
    FileReader reader = FileReader::OverBytes(ByteSpan(bytes));
    return LocateVersionResource(reader, languages);
}

// The language that the chosen block names in its ProductName.
int ChosenLanguage(const Bytes& bytes, LocaleLanguages languages = {}) {
    FileReader reader = FileReader::OverBytes(ByteSpan(bytes));
    const VersionResource found = LocateVersionResource(reader, languages);
    if (found.lookup != VersionLookup::Found)
        return -1;
    auto block = ReadResourceBlock(reader, found);
    if (!block)
        return -1;
    const std::wstring value = FindVersionString(ByteSpan(*block), L"ProductName");
    return value.size() == 2 ? static_cast<int>(value[1] & 0x7FFF) : -1;
}

} // namespace

TEST(LocateVersionResource, PicksLanguagesInThePlatformsOrder) {
    // Neutral first, then the thread's, the user's (and its neutral
    // sublanguage), the system's, US English, then the first.
    EXPECT_EQ(ChosenLanguage(BuildPe({0x0407, 0x0000, 0x0409}).bytes), 0x0000);
    EXPECT_EQ(ChosenLanguage(BuildPe({0x0407, 0x0409, 0x040C}).bytes), 0x0409);
    EXPECT_EQ(ChosenLanguage(BuildPe({0x0407, 0x0409, 0x040C}).bytes, {0x040C, 0x0407, 0x0407}),
              0x040C);
    EXPECT_EQ(ChosenLanguage(BuildPe({0x0407, 0x0409, 0x000C}).bytes, {0x0C0C, 0x0C0C, 0x0409}),
              0x000C);
    EXPECT_EQ(ChosenLanguage(BuildPe({0x0407, 0x0409}).bytes, {0x0409, 0x0409, 0x0407}), 0x0409);
    EXPECT_EQ(ChosenLanguage(BuildPe({0x040C, 0x0407, 0x0411}).bytes), 0x0407);
}

TEST(LocateVersionResource, SkipsLanguageEntriesThatAreDirectories) {
    PeImage pe = BuildPe({0x0000, 0x0407});
    // Mark the neutral entry as a directory: the platform passes over it.
    pe.bytes[pe.languageDir + 16 + 7] |= 0x80;
    EXPECT_EQ(ChosenLanguage(pe.bytes), 0x0407);
}

TEST(LocateVersionResource, NoVersionResourceOrNoPeFile) {
    EXPECT_EQ(Locate(BuildPe({0x0409}, 6).bytes).lookup, VersionLookup::None);     // other type
    EXPECT_EQ(Locate(BuildPe({0x0409}, 16, 2).bytes).lookup, VersionLookup::None); // other name
    EXPECT_EQ(Locate(Bytes{}).lookup, VersionLookup::None);
    EXPECT_EQ(Locate(Bytes(100, 'x')).lookup, VersionLookup::None);
    Bytes ne = BuildPe({0x0409}).bytes;
    ne[0x40] = 'N';
    ne[0x41] = 'E';
    EXPECT_EQ(Locate(ne).lookup, VersionLookup::None); // 16-bit, read by us: no resource table
    Bytes noResources = BuildPe({0x0409}).bytes;
    Put32(noResources, 0x58 + 96 + 16, 0);
    Put32(noResources, 0x58 + 96 + 20, 0);
    EXPECT_EQ(Locate(noResources).lookup, VersionLookup::None);
}

TEST(LocateVersionResource, DataOutsideTheFileIsNoBlock) {
    PeImage pe = BuildPe({0x0409});
    const VersionResource found = Locate(pe.bytes);
    ASSERT_EQ(found.lookup, VersionLookup::Found);
    // Claim a size running past the end of the file.
    const std::uint32_t dataEntry =
        pe.bytes[pe.languageDir + 20] | (pe.bytes[pe.languageDir + 21] << 8);
    Put32(pe.bytes, kSectionStart + dataEntry + 4, 0xFFFFFFF0u);
    EXPECT_EQ(Locate(pe.bytes).lookup, VersionLookup::None);
}

// Every cut and many corrupted copies of an image: never a read outside the
// bytes, and whatever is found lies inside the file.
TEST(LocateVersionResource, HostileImagesStayInBounds) {
    const Bytes good = BuildPe({0x0000, 0x0407, 0x0409}).bytes;
    for (std::size_t size = 0; size <= good.size(); ++size) {
        const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
        const VersionResource found = Locate(cut);
        if (found.lookup == VersionLookup::Found) {
            EXPECT_LE(found.offset + found.size, cut.size());
        }
    }
    std::uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (int round = 0; round < 3000; ++round) {
        Bytes bad = good;
        for (int flips = 1 + next() % 4; flips > 0; --flips)
            bad[(next() >> 8) % bad.size()] = static_cast<std::uint8_t>(next() >> 16);
        FileReader reader = FileReader::OverBytes(ByteSpan(bad));
        const VersionResource found = LocateVersionResource(reader, {});
        if (found.lookup != VersionLookup::Found)
            continue;
        EXPECT_LE(found.offset + found.size, bad.size());
        auto block = ReadResourceBlock(reader, found);
        ASSERT_TRUE(block);
        EXPECT_LE(block->size(), 0xFFFFu);
    }
}

// 16-bit files are read by us alone: a damaged resource table, or an entry
// too short or too long for a version block, is no block (the platform's
// size call wraps around on the short one, its copy faults on others).
TEST(LocateVersionResource, SixteenBitFilesThroughTheirResourceTable) {
    const Bytes block =
        Entry16("VS_VERSION_INFO", FixedInfo(0x00030001, 0, 0, 0x00010001, 2, 0),
                {Entry16("StringFileInfo", {},
                         {Entry16("040904E4", {}, {String16("ProductName", "Old")})})});
    const auto withTable = [&block](std::size_t at, std::uint16_t value) {
        Bytes ne = BuildNe(block);
        Put16(ne, at, value);
        return ne;
    };
    const Bytes whole = BuildNe(block);
    struct Case {
        const char* name;
        Bytes file;
        VersionLookup lookup;
    };
    const Case cases[] = {
        {"whole", whole, VersionLookup::Found},
        {"bigger units", BuildNe(block, {.shift = 8}), VersionLookup::Found},
        {"shorter than its fixed information", BuildNe(block, {.lengthUnits = 3}),
         VersionLookup::None},
        {"no length", BuildNe(block, {.lengthUnits = 0}), VersionLookup::None},
        {"past the end of the file", BuildNe(block, {.offsetUnits = 0xFFFF}), VersionLookup::None},
        {"longer than any block", BuildNe(block, {.shift = 15, .lengthUnits = 0x100}),
         VersionLookup::None},
        {"shift beyond 32 bits", BuildNe(block, {.shift = 40}), VersionLookup::None},
        {"other type", BuildNe(block, {.type = 0x8006}), VersionLookup::None},
        {"names past the table", BuildNe(block, {.type = 0x8006, .count = 0x2000}),
         VersionLookup::None},
        {"table without its end", BuildNe(block, {.type = 0x8006, .terminated = false}),
         VersionLookup::None},
        {"table ending before it starts", withTable(kNeHeader + 0x26, 0x30), VersionLookup::None},
        {"table past the end of the file", withTable(kNeHeader + 0x26, 0xFFF0),
         VersionLookup::None},
        {"cut in its header", Bytes(whole.begin(), whole.begin() + 0x60), VersionLookup::None},
    };
    for (const Case& c : cases) {
        FileReader reader = FileReader::OverBytes(ByteSpan(c.file));
        const VersionResource found = LocateVersionResource(reader, {});
        EXPECT_EQ(found.lookup, c.lookup) << c.name;
        if (found.lookup != VersionLookup::Found)
            continue;
        auto read = ReadResourceBlock(reader, found);
        ASSERT_TRUE(read) << c.name;
        EXPECT_EQ(*read, block) << c.name;
        EXPECT_EQ(FindVersionString16(ByteSpan(*read), "ProductName")->bytes, "Old");
    }
}

TEST(ReadResourceBlock, PadsToTheRootLengthAsThePlatformsCopyDoes) {
    Bytes file = VersionBlock({});
    const std::size_t size = file.size();
    // The root claims 8 bytes more than the resource holds: zeros follow.
    Put16(file, 0, static_cast<std::uint16_t>(size + 8));
    FileReader reader = FileReader::OverBytes(ByteSpan(file));
    auto longer =
        ReadResourceBlock(reader, {VersionLookup::Found, 0, static_cast<std::uint32_t>(size)});
    ASSERT_TRUE(longer);
    EXPECT_EQ(longer->size(), size + 8);
    EXPECT_EQ(longer->back(), 0);
    // The root claims less: the block ends there.
    Put16(file, 0, 40);
    FileReader again = FileReader::OverBytes(ByteSpan(file));
    auto shorter =
        ReadResourceBlock(again, {VersionLookup::Found, 0, static_cast<std::uint32_t>(size)});
    ASSERT_TRUE(shorter);
    EXPECT_EQ(shorter->size(), 40u);
}
