// The .reg and JSON Lines writers: every value type, the escapes the
// registry editor reads back, and what has no escape (a line break) as hex.

#include "registration/export/export_formats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>

using namespace calvorn::registration;

namespace {

std::vector<std::uint8_t> Utf16(std::wstring_view text, bool terminated = true) {
    std::vector<std::uint8_t> bytes;
    for (wchar_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
    }
    if (terminated)
        bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

ExportedFile OneKey(CapturedRoot root, std::wstring path, std::vector<CapturedValue> values,
                    CapturedMachine machine = CapturedMachine::X86) {
    ExportedFile file;
    file.registration.file = L"C:\\dir\\server.dll";
    file.registration.machine = machine;
    file.registration.keys.push_back({root, std::move(path), std::move(values)});
    file.outcome = "registered";
    return file;
}

// The .reg bytes back as text; the mark is checked on the way.
std::wstring RegText(const std::vector<ExportedFile>& files, bool perUser = false) {
    const std::string bytes = WriteRegFile(files, ExportOptions{.perUser = perUser});
    EXPECT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    std::wstring text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
        text += static_cast<wchar_t>(static_cast<std::uint8_t>(bytes[i]) |
                                     (static_cast<std::uint8_t>(bytes[i + 1]) << 8));
    return text;
}

TEST(RegFileWriter, EveryValueTypeAndEscape) {
    struct Case {
        CapturedValue value;
        std::wstring line;
    };
    const Case cases[] = {
        {{L"", CapturedType::String, Utf16(L"Server")}, L"@=\"Server\""},
        {{L"", CapturedType::String, Utf16(L"")}, L"@=\"\""},
        {{L"Path", CapturedType::String, Utf16(L"C:\\a \"b\"")}, L"\"Path\"=\"C:\\\\a \\\"b\\\"\""},
        {{L"a\"b\\c", CapturedType::String, Utf16(L"x")}, L"\"a\\\"b\\\\c\"=\"x\""},
        {{L"Gr\u00F6\u00DFe", CapturedType::String, Utf16(L"\u65E5\u672C")},
         L"\"Gr\u00F6\u00DFe\"=\"\u65E5\u672C\""},
        {{L"Lines", CapturedType::String, Utf16(L"a\r\nb")},
         L"\"Lines\"=hex(1):61,00,0d,00,0a,00,62,00,00,00"},
        {{L"Odd", CapturedType::String, {0x41}}, L"\"Odd\"=hex(1):41"},
        {{L"Nul", CapturedType::String, Utf16(std::wstring(L"a\0b", 3))},
         L"\"Nul\"=hex(1):61,00,00,00,62,00,00,00"},
        {{L"Exp", CapturedType::ExpandString, Utf16(L"%A%")},
         L"\"Exp\"=hex(2):25,00,41,00,25,00,00,00"},
        {{L"D", CapturedType::Dword, {0x2A, 0, 0, 0x80}}, L"\"D\"=dword:8000002a"},
        {{L"Short", CapturedType::Dword, {1, 2}}, L"\"Short\"=hex(4):01,02"},
        {{L"Q", CapturedType::Qword, {1, 0, 0, 0, 0, 0, 0, 2}},
         L"\"Q\"=hex(b):01,00,00,00,00,00,00,02"},
        {{L"B", CapturedType::Binary, {0xDE, 0xAD}}, L"\"B\"=hex:de,ad"},
        {{L"Empty", CapturedType::Binary, {}}, L"\"Empty\"=hex:"},
        {{L"M", CapturedType::MultiString, Utf16(std::wstring(L"a\0", 2))},
         L"\"M\"=hex(7):61,00,00,00,00,00"},
        {{L"N", CapturedType::None, {7}}, L"\"N\"=hex(0):07"},
        {{L"T", static_cast<CapturedType>(0x15), {1}}, L"\"T\"=hex(15):01"},
        {{L"Tab", CapturedType::String, Utf16(L"a\tb")}, L"\"Tab\"=hex(1):61,00,09,00,62,00,00,00"},
    };
    for (const Case& c : cases) {
        const std::wstring text = RegText({OneKey(CapturedRoot::ClassesRoot, L"K", {c.value})});
        EXPECT_NE(text.find(L"\r\n[HKEY_CLASSES_ROOT\\K]\r\n" + c.line + L"\r\n"),
                  std::wstring::npos)
            << "expected " << std::string(c.line.begin(), c.line.end());
    }
}

TEST(RegFileWriter, HeaderRootsViewsAndLineEnds) {
    auto x86 = OneKey(CapturedRoot::ClassesRoot, L"CLSID\\{1}", {});
    x86.registration.keys.push_back({CapturedRoot::LocalMachine, L"Software\\V", {}});
    const auto x64 = OneKey(CapturedRoot::Users, L"S-1\\X", {}, CapturedMachine::X64);
    const std::wstring text = RegText({x86, x64});
    EXPECT_EQ(text.rfind(L"Windows Registry Editor Version 5.00\r\n\r\n", 0), 0u);
    for (const wchar_t* part : {L"\r\n[HKEY_CLASSES_ROOT\\CLSID\\{1}]\r\n\r\n",
                                L"\r\n[HKEY_LOCAL_MACHINE\\Software\\V]\r\n", L"/reg:32\r\n",
                                L"/reg:64\r\n", L"\r\n[HKEY_USERS\\S-1\\X]\r\n"})
        EXPECT_NE(text.find(part), std::wstring::npos);
    for (std::size_t i = text.find(L'\n'); i != std::wstring::npos; i = text.find(L'\n', i + 1))
        EXPECT_EQ(text[i - 1], L'\r');
    const std::wstring perUser = RegText({x86}, true);
    EXPECT_NE(perUser.find(L"[HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{1}]"),
              std::wstring::npos);
    EXPECT_NE(perUser.find(L"[HKEY_LOCAL_MACHINE\\Software\\V]"), std::wstring::npos);
}

TEST(RegFileWriter, RefusesNamesThatWouldStartLinesOfTheirOwnAndKeepsTheRest) {
    // What the importer reads back: it ends a key at the line's last "]".
    const std::wstring text = RegText({OneKey(CapturedRoot::ClassesRoot, L"K\\a]\\[b] ]",
                                              {{L"q\"]\\", CapturedType::String, Utf16(L"x")},
                                               {L"@", CapturedType::String, Utf16(L"y")}})});
    EXPECT_NE(text.find(L"\r\n[HKEY_CLASSES_ROOT\\K\\a]\\[b] ]]\r\n\"q\\\"]\\\\\"=\"x\"\r\n"
                        L"\"@\"=\"y\"\r\n"),
              std::wstring::npos);
    struct Case {
        std::wstring key, value, entry;
    };
    const Case cases[] = {
        {L"K]\r\n[HKEY_CURRENT_USER", L"v", L"HKEY_CLASSES_ROOT\\K]\r\n[HKEY_CURRENT_USER"},
        {L"K", L"a\r\n\"b\"=\"c", L"HKEY_CLASSES_ROOT\\K value \"a\r\n\"b\"=\"c\""},
        {L"K", L"lf\n", L"HKEY_CLASSES_ROOT\\K value \"lf\n\""},
        {L"K\\nul" + std::wstring(1, L'\0'), L"v",
         L"HKEY_CLASSES_ROOT\\K\\nul" + std::wstring(1, L'\0')},
    };
    for (const Case& c : cases) {
        // A good file first: nothing of it is written either.
        auto good = OneKey(CapturedRoot::ClassesRoot, L"Good", {});
        auto bad = OneKey(CapturedRoot::ClassesRoot, c.key,
                          {{c.value, CapturedType::String, Utf16(L"x")}});
        try {
            WriteRegFile({good, bad}, {});
            ADD_FAILURE() << "written";
        } catch (const UnwritableName& refused) {
            EXPECT_EQ(refused.Entry(), c.entry);
            EXPECT_NE(refused.Reason().find(L".reg"), std::wstring::npos);
        }
    }
    EXPECT_TRUE(RegFileHolds(L"a]\"\\[=@ \u2028"));
    EXPECT_FALSE(RegFileHolds(L"a\x1a"));
}

TEST(RegFileWriter, LongHexWrapsWithinEightyColumnsAndKeepsEveryByte) {
    std::vector<std::uint8_t> data(300);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i);
    const std::wstring text =
        RegText({OneKey(CapturedRoot::ClassesRoot, L"K", {{L"Blob", CapturedType::Binary, data}})});
    std::wstring joined;
    std::size_t start = text.find(L"\"Blob\"=hex:");
    for (;;) {
        const std::size_t end = text.find(L"\r\n", start);
        std::wstring line = text.substr(start, end - start);
        EXPECT_LE(line.size(), 80u);
        const bool more = !line.empty() && line.back() == L'\\';
        if (more)
            line.pop_back();
        joined += line;
        if (!more)
            break;
        start = end + 2;
        EXPECT_EQ(text.substr(start, 2), L"  ");
    }
    std::wstring expected = L"\"Blob\"=hex:";
    for (std::size_t i = 0; i < data.size(); ++i) {
        wchar_t pair[4];
        std::swprintf(pair, 4, L"%02x", data[i]);
        expected += (i ? L"," : L"") + std::wstring(pair);
    }
    joined.erase(std::remove(joined.begin(), joined.end(), L' '), joined.end());
    EXPECT_EQ(joined, expected);
}

TEST(JsonLinesWriter, OneObjectPerFileWithTypedData) {
    auto file = OneKey(CapturedRoot::ClassesRoot, L"CLSID\\{1}",
                       {{L"", CapturedType::String, Utf16(L"a\"\\\n\u00FC")},
                        {L"D", CapturedType::Dword, {1, 1, 0, 0}},
                        {L"M", CapturedType::MultiString, Utf16(std::wstring(L"x\0y\0", 4))},
                        {L"B", CapturedType::Binary, {0xAB}},
                        {L"Odd", CapturedType::String, {0x41}}});
    file.version = {2, 3, 4, 5};
    const std::string text = WriteJsonLines({file, file}, ExportOptions{.perUser = true});
    const std::string line =
        "{\"file\":\"C:\\\\dir\\\\server.dll\",\"machine\":\"x86\",\"version\":\"2.3.4.5\","
        "\"outcome\":\"registered\",\"perUser\":true,\"keys\":[{\"key\":"
        "\"HKEY_CURRENT_USER\\\\Software\\\\Classes\\\\CLSID\\\\{1}\",\"values\":["
        "{\"name\":\"\",\"type\":\"REG_SZ\",\"data\":\"a\\\"\\\\\\n\xC3\xBC\"},"
        "{\"name\":\"D\",\"type\":\"REG_DWORD\",\"data\":257},"
        "{\"name\":\"M\",\"type\":\"REG_MULTI_SZ\",\"data\":[\"x\",\"y\"]},"
        "{\"name\":\"B\",\"type\":\"REG_BINARY\",\"hex\":\"ab\"},"
        "{\"name\":\"Odd\",\"type\":\"REG_SZ\",\"hex\":\"41\"}]}]}\n";
    EXPECT_EQ(text, line + line);
}

} // namespace
