#include "inspection/module_inventory.h"
#include "inspection/pe_image.h"
#include "inspection/time_stamp_token.h"
#include "pe_builder.h"

#include <gtest/gtest.h>

using namespace calvorn::inspection;
using namespace calvorn::test;

namespace {

ModuleFactsResult Read(const Bytes& bytes) {
    FileReader reader = FileReader::OverBytes(ByteSpan(bytes));
    return ReadModuleFacts(reader);
}

std::string ImportList(const ModuleFacts& facts) {
    std::string list;
    for (const ModuleImport& import : facts.imports)
        list += import.dll + (import.delayLoaded ? "(delay) " : " ");
    return list;
}

} // namespace

TEST(ReadModuleFacts, MachineBitnessAndKind) {
    const auto x86 = Read(BuildModule({}).bytes);
    ASSERT_EQ(x86.read, ModuleRead::Read);
    EXPECT_EQ(x86.facts.machine, Machine::X86);
    EXPECT_FALSE(x86.facts.is64Bit);
    EXPECT_TRUE(x86.facts.isDll);
    EXPECT_FALSE(x86.facts.isDotNet);
    EXPECT_FALSE(x86.facts.damaged);

    const auto x64 = Read(BuildModule({.machine = 0x8664, .pe64 = true, .dll = false}).bytes);
    EXPECT_EQ(x64.facts.machine, Machine::X64);
    EXPECT_TRUE(x64.facts.is64Bit);
    EXPECT_FALSE(x64.facts.isDll);
    EXPECT_EQ(MachineName(x64.facts), L"x64");

    const auto arm = Read(BuildModule({.machine = 0xAA64, .pe64 = true}).bytes);
    EXPECT_EQ(arm.facts.machine, Machine::Arm64);
    EXPECT_EQ(MachineName(arm.facts), L"ARM64");
    const auto other = Read(BuildModule({.machine = 0x01C4}).bytes);
    EXPECT_EQ(other.facts.machine, Machine::Other);
    EXPECT_EQ(MachineName(other.facts), L"0x01C4");

    EXPECT_TRUE(Read(BuildModule({.clr = true}).bytes).facts.isDotNet);
}

TEST(ReadModuleFacts, RegistrationEntryPoints) {
    const auto all =
        Read(BuildModule({.exports = {"DllCanUnloadNow", "DllGetClassObject", "DllInstall",
                                      "DllRegisterServer", "DllUnregisterServer"}})
                 .bytes);
    EXPECT_TRUE(all.facts.exportsRegister);
    EXPECT_TRUE(all.facts.exportsUnregister);
    EXPECT_TRUE(all.facts.exportsInstall);
    // Names are compared exactly, as the loader's lookup does.
    const auto none =
        Read(BuildModule({.exports = {"dllregisterserver", "DllRegisterServerX"}}).bytes);
    EXPECT_FALSE(none.facts.exportsRegister);
    EXPECT_FALSE(none.facts.exportsUnregister);
    EXPECT_FALSE(none.facts.damaged);
}

TEST(ReadModuleFacts, ImportsDirectAndDelayLoadedOnceEach) {
    const auto facts = Read(BuildModule({.machine = 0x8664,
                                         .pe64 = true,
                                         .imports = {"KERNEL32.dll", "first.dll"},
                                         .delayImports = {"later.dll", "kernel32.DLL"}})
                                .bytes)
                           .facts;
    EXPECT_EQ(ImportList(facts), "KERNEL32.dll first.dll later.dll(delay) ");
    const auto old = Read(BuildModule({.delayImports = {"old.dll"}, .oldStyleDelay = true}).bytes);
    EXPECT_EQ(ImportList(old.facts), "old.dll(delay) ");
}

TEST(ReadModuleFacts, NotAWindowsModule) {
    EXPECT_EQ(Read(Bytes{}).read, ModuleRead::NotWindowsModule);
    EXPECT_EQ(Read(Bytes(4096, 'x')).read, ModuleRead::NotWindowsModule);
    Bytes noMagic = BuildModule({}).bytes;
    Put16(noMagic, 0x58, 0x107);
    EXPECT_EQ(Read(noMagic).read, ModuleRead::NotWindowsModule);
    Bytes ne = BuildModule({}).bytes;
    ne[0x40] = 'N';
    ne[0x41] = 'E';
    EXPECT_EQ(Read(ne).read, ModuleRead::NotWindowsModule);
}

TEST(ReadModuleFacts, TablesLeavingTheFileAreDamageNotReads) {
    // A name table address past the end of the file.
    ModuleImage image = BuildModule({.exports = {"DllRegisterServer"}, .imports = {"a.dll"}});
    Bytes exports = image.bytes;
    Put32(exports, image.exportTable + 32, 0x7FFFFFF0);
    EXPECT_TRUE(Read(exports).facts.damaged);
    // An import table without its terminating entry runs into the end.
    Bytes imports = image.bytes;
    std::copy_n(imports.begin() + static_cast<std::ptrdiff_t>(image.importTable), 20,
                imports.begin() + static_cast<std::ptrdiff_t>(image.importTable + 20));
    const auto unending = Read(imports);
    EXPECT_TRUE(unending.facts.damaged);
    EXPECT_EQ(ImportList(unending.facts), "a.dll ");
}

// Every cut and many corrupted copies: never a read outside the bytes (the
// sanitizers watch), never more DLLs than the table can hold.
TEST(ReadModuleFacts, HostileImagesStayInBounds) {
    const Bytes good = BuildModule({.exports = {"DllRegisterServer", "DllUnregisterServer"},
                                    .imports = {"one.dll", "two.dll"},
                                    .delayImports = {"three.dll"},
                                    .clr = true})
                           .bytes;
    for (std::size_t size = 0; size <= good.size(); ++size)
        Read(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size)));
    std::uint32_t seed = 777;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (int round = 0; round < 3000; ++round) {
        Bytes bad = good;
        for (int flips = 1 + next() % 4; flips > 0; --flips)
            bad[(next() >> 8) % bad.size()] = static_cast<std::uint8_t>(next() >> 16);
        const auto result = Read(bad);
        EXPECT_LE(result.facts.imports.size(), 2048u);
    }
}

namespace {

using Der = std::vector<std::uint8_t>;

// One DER element: its tag, a short or long length, its body.
Der Element(std::uint8_t tag, std::initializer_list<Der> parts) {
    Der body;
    for (const Der& part : parts)
        for (std::uint8_t byte : part)
            body.push_back(byte);
    Der out;
    out.push_back(tag);
    if (body.size() >= 0x80) {
        out.push_back(0x82);
        out.push_back(static_cast<std::uint8_t>(body.size() >> 8));
    }
    out.push_back(static_cast<std::uint8_t>(body.size()));
    for (std::uint8_t byte : body)
        out.push_back(byte);
    return out;
}

// A signed message holding a TSTInfo whose genTime is `time`; the digest is
// long enough for lengths of the long form.
Der Token(const std::string& time, std::uint8_t timeTag = 0x18) {
    const Der oid{0x06, 0x03, 0x2A, 0x03, 0x04}, one{0x02, 0x01, 0x01};
    const Der info = Element(0x30, {one, oid, Element(0x30, {Element(0x04, {Der(200, 0xAB)})}), one,
                                    Element(timeTag, {Der(time.begin(), time.end())})});
    const Der signedData =
        Element(0x30, {one, Element(0x31, {}),
                       Element(0x30, {oid, Element(0xA0, {Element(0x04, {info})})})});
    return Element(0x30, {oid, Element(0xA0, {signedData})});
}

} // namespace

TEST(TimeStampTokenTime, OnlyAWholeTokenWithAUtcCalendarTime) {
    constexpr std::uint64_t k20240501 = 133589952000000000ull;
    const std::pair<const char*, std::optional<std::uint64_t>> cases[] = {
        {"20240501000000Z", k20240501},
        {"20240501000000.25Z", k20240501 + 2500000},
        {"20240501010203.123456789Z", k20240501 + 37230000000ull + 1234567},
        {"16010101000000Z", 0},
        {"20240229235959Z", k20240501 - 62 * 86400 * 10000000ull + 86399 * 10000000ull},
        {"20230229000000Z", std::nullopt},
        {"20240501000000", std::nullopt},
        {"20240501000000+0100", std::nullopt},
        {"20240501000000.Z", std::nullopt},
        {"2024050100000Z", std::nullopt},
        {"20241301000000Z", std::nullopt},
        {"20240501240000Z", std::nullopt},
        {"16001231235959Z", std::nullopt},
    };
    for (const auto& [time, expected] : cases) {
        const Der token = Token(time);
        EXPECT_EQ(TimeStampTokenTime(token.data(), token.size()), expected) << time;
    }
    // A UTCTime is not the genTime; no cut of a token is read beyond its end.
    const Der utc = Token("240501000000Z", 0x17);
    EXPECT_EQ(TimeStampTokenTime(utc.data(), utc.size()), std::nullopt);
    const Der whole = Token("20240501000000Z");
    for (std::size_t size = 0; size < whole.size(); ++size) {
        const Der cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_EQ(TimeStampTokenTime(cut.data(), cut.size()), std::nullopt) << size;
    }
}

TEST(ReadModuleInventory, MachineKindsStampAndComFacts) {
    const auto read = [](const Bytes& bytes) {
        FileReader reader = FileReader::OverBytes(ByteSpan(bytes));
        return ReadModuleInventory(reader);
    };
    Bytes dos = BuildModule({}).bytes;
    dos[0x40] = 'N'; // an NE header where the PE one was
    Bytes text(200, 'x');
    Bytes shortMz(63, ' ');
    shortMz[0] = 'M';
    shortMz[1] = 'Z';
    const struct {
        const char* name;
        Bytes bytes;
        std::string machine;
        bool dotnet;
        bool registers;
    } cases[] = {
        {"x86", BuildModule({.exports = {"DllRegisterServer"}}).bytes, "x86", false, true},
        {"x64", BuildModule({.machine = 0x8664, .pe64 = true}).bytes, "x64", false, false},
        {"arm64", BuildModule({.machine = 0xAA64, .pe64 = true}).bytes, "arm64", false, false},
        {"other", BuildModule({.machine = 0x01C4}).bytes, "0x01C4", false, false},
        {"clr", BuildModule({.clr = true}).bytes, "x86", true, false},
        {"ne", dos, "16-bit", false, false},
        {"text", text, "not-a-module", false, false},
        {"short MZ", shortMz, "not-a-module", false, false}, // no whole header
    };
    for (const auto& c : cases) {
        const ModuleInventory inventory = read(c.bytes);
        EXPECT_EQ(inventory.machine, c.machine) << c.name;
        EXPECT_EQ(inventory.dotnet, c.dotnet) << c.name;
        EXPECT_EQ(inventory.exportsRegister, c.registers) << c.name;
        EXPECT_EQ(inventory.linkStamp.has_value(),
                  c.machine != "16-bit" && c.machine != "not-a-module")
            << c.name;
    }
    const auto stamped = read(BuildModule({.stamp = 0x5F5E1000}).bytes);
    EXPECT_EQ(stamped.linkStamp, 0x5F5E1000u);
    EXPECT_FALSE(stamped.reproducible);
    EXPECT_TRUE(read(BuildModule({.reproducible = true}).bytes).reproducible);
}

TEST(StampIsLinkTime, OnlyStampsThatCanBeTimes) {
    const std::uint64_t written = StampToFileTime(1700000000);
    const std::uint64_t day = 864000000000ull;
    const struct {
        std::uint32_t stamp;
        bool reproducible;
        std::optional<std::uint64_t> lastWrite;
        bool time;
    } cases[] = {
        {1600000000, false, written, true},
        {1600000000, true, written, false},            // a hash of the contents
        {0, false, written, false},                    // no stamp at all
        {0x2A425E19, false, written, false},           // a fixed 1992 stamp
        {725846400, false, written, true},             // 1993-01-01
        {1700000000 + 3600, false, written, true},     // a clock an hour off
        {1700000000, false, written - 2 * day, false}, // linked after its last write
        {1600000000, false, std::nullopt, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StampIsLinkTime(c.stamp, c.reproducible, c.lastWrite), c.time) << c.stamp;
    EXPECT_EQ(StampToFileTime(0), 116444736000000000ull);
}
