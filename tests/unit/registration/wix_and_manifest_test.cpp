// The WiX and manifest writers over hand-made captures: the file's own path
// and folder as references in every form, escaping, bitness, and what the
// manifest takes from the classes keys.

#include "registration/export/export_formats.h"

#include <gtest/gtest.h>

using namespace calvorn::registration;
using namespace std::string_view_literals;

namespace {

std::vector<std::uint8_t> Bytes(std::wstring_view text, bool multi = false) {
    std::vector<std::uint8_t> out;
    for (const wchar_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
    }
    out.insert(out.end(), multi ? 4 : 2, 0);
    return out;
}

CapturedValue Sz(std::wstring name, std::wstring_view text) {
    return {std::move(name), CapturedType::String, Bytes(text)};
}

constexpr auto clsid = L"CLSID\\{11111111-2222-3333-4444-555555555555}";
constexpr auto library = L"TypeLib\\{AAAAAAAA-2222-3333-4444-555555555555}\\1.a";

ExportedFile Component(CapturedMachine machine) {
    ExportedFile file;
    file.registration.file = L"C:\\Program Files\\A&B\\comp.dll";
    file.shortPath = L"C:\\PROGRA~1\\AB~1\\COMP.DLL";
    file.registration.machine = machine;
    file.version = {2, 3, 4, 5};
    auto& keys = file.registration.keys;
    keys.push_back({CapturedRoot::ClassesRoot, clsid, {Sz(L"", L"Thing <\"1\"> & 'two' [x]")}});
    keys.push_back(
        {CapturedRoot::ClassesRoot,
         std::wstring(clsid) + L"\\InprocServer32",
         {Sz(L"", L"c:\\program files\\a&b\\COMP.dll"), Sz(L"ThreadingModel", L"Both")}});
    keys.push_back(
        {CapturedRoot::ClassesRoot, std::wstring(clsid) + L"\\ProgID", {Sz(L"", L"Comp.Thing.1")}});
    keys.push_back({CapturedRoot::ClassesRoot,
                    std::wstring(clsid) + L"\\DefaultIcon",
                    {Sz(L"", L"C:\\PROGRA~1\\AB~1\\COMP.DLL,1")}});
    keys.push_back(
        {CapturedRoot::ClassesRoot, std::wstring(clsid) + L"\\Implemented Categories", {}});
    keys.push_back({CapturedRoot::ClassesRoot, std::wstring(library) + L"\\0", {}});
    keys.push_back({CapturedRoot::ClassesRoot,
                    std::wstring(library) + L"\\0\\win32",
                    {Sz(L"", L"\\\\?\\C:\\Program Files\\A&B\\comp.dll")}});
    keys.push_back(
        {CapturedRoot::ClassesRoot, std::wstring(library) + L"\\FLAGS", {Sz(L"", L"6")}});
    keys.push_back({CapturedRoot::ClassesRoot,
                    std::wstring(library) + L"\\HELPDIR",
                    {Sz(L"", L"C:\\Program Files\\A&B")}});
    keys.push_back({CapturedRoot::ClassesRoot,
                    L"Interface\\{BBBBBBBB-2222-3333-4444-555555555555}",
                    {Sz(L"", L"IThing")}});
    keys.push_back({CapturedRoot::ClassesRoot,
                    L"Interface\\{BBBBBBBB-2222-3333-4444-555555555555}\\ProxyStubClsid32",
                    {Sz(L"", L"{00020424-0000-0000-C000-000000000046}")}});
    keys.push_back({CapturedRoot::ClassesRoot,
                    L"CLSID\\{99999999-2222-3333-4444-555555555555}\\InprocServer32",
                    {Sz(L"", L"C:\\Windows\\system32\\other.dll")}});
    keys.push_back({CapturedRoot::LocalMachine,
                    L"Software\\Comp",
                    {{L"Count", CapturedType::Dword, {0xFF, 0xFF, 0xFF, 0xFF}},
                     {L"Big", CapturedType::Qword, {1, 0, 0, 0, 0, 0, 0, 0}},
                     {L"List", CapturedType::MultiString,
                      Bytes(L"one\0C:\\Program Files\\A&B\\comp.dll"sv, true)},
                     {L"Raw", CapturedType::Binary, {0x00, 0xAB}},
                     {L"Bell", CapturedType::String, Bytes(L"a\x07")},
                     {L"Holes", CapturedType::MultiString, Bytes(L"a\0\0b"sv, true)}}});
    return file;
}

TEST(WixFragment, ReferencesTheFileAndItsFolderAndEscapesEveryAttribute) {
    struct Case {
        ExportFormat format;
        CapturedMachine machine;
        const char* ns;
        const char* bitness;     // nullptr: no marking
        const char* multiString; // the first string, and the start of the second
        const char* multiReference;
    };
    const Case cases[] = {
        {ExportFormat::Wxs, CapturedMachine::X64, "http://wixtoolset.org/schemas/v4/wxs",
         "Bitness=\"always64\"", "<MultiStringValue Value=\"one\" />",
         "<MultiStringValue Value=\"[#fil_comp.dll_"},
        {ExportFormat::Wxs, CapturedMachine::X86, "http://wixtoolset.org/schemas/v4/wxs", nullptr,
         "<MultiStringValue Value=\"one\" />", "<MultiStringValue Value=\"[#fil_comp.dll_"},
        {ExportFormat::Wxs3, CapturedMachine::X64, "http://schemas.microsoft.com/wix/2006/wi",
         "Win64=\"yes\"", "<MultiStringValue>one</MultiStringValue>",
         "<MultiStringValue>[#fil_comp.dll_"},
        {ExportFormat::Wxs3, CapturedMachine::X86, "http://schemas.microsoft.com/wix/2006/wi",
         nullptr, "<MultiStringValue>one</MultiStringValue>", "<MultiStringValue>[#fil_comp.dll_"},
    };
    for (const auto& c : cases) {
        const auto xml = WriteWixFragment({Component(c.machine)}, {}, c.format);
        SCOPED_TRACE(xml);
        EXPECT_NE(xml.find(std::string("<Wix xmlns=\"") + c.ns + "\">"), std::string::npos);
        EXPECT_EQ(xml.find("Bitness=") != std::string::npos ||
                      xml.find("Win64=") != std::string::npos,
                  c.bitness != nullptr);
        if (c.bitness) {
            EXPECT_NE(xml.find(c.bitness), std::string::npos);
        }
        EXPECT_NE(xml.find(c.multiString), std::string::npos);
        EXPECT_NE(xml.find(c.multiReference), std::string::npos);
        // Long, short and extended forms of the path, in any case, are references.
        EXPECT_EQ(xml.find("Program Files", xml.find("KeyPath")), std::string::npos);
        EXPECT_EQ(xml.find("PROGRA~1"), std::string::npos);
        EXPECT_NE(xml.find("Value=\"[#fil_comp.dll_7c0935e3],1\""), std::string::npos);
        EXPECT_NE(xml.find("Value=\"[INSTALLFOLDER]\""), std::string::npos);
        EXPECT_NE(xml.find("Source=\"C:\\Program Files\\A&amp;B\\comp.dll\""), std::string::npos);
        EXPECT_NE(
            xml.find("Value=\"Thing &lt;&quot;1&quot;&gt; &amp; &apos;two&apos; [\\[]x[\\]]\""),
            std::string::npos);
        EXPECT_NE(xml.find("Type=\"integer\" Value=\"-1\""), std::string::npos);
        EXPECT_NE(xml.find("Type=\"binary\" Value=\"00AB\""), std::string::npos);
        // What WiX cannot write is named, not dropped.
        EXPECT_NE(
            xml.find("<!-- Not written (a type WiX has no form for): REG_QWORD value \"Big\""),
            std::string::npos);
        EXPECT_NE(xml.find("REG_SZ value \"Bell\", data 61000700"), std::string::npos);
        EXPECT_NE(xml.find("(an empty string inside the list): REG_MULTI_SZ value \"Holes\""),
                  std::string::npos);
        // A key with subkeys is made by them: only a leaf is created by itself.
        EXPECT_EQ(xml.find("1.a\\0\""), std::string::npos);
        EXPECT_NE(xml.find("Key=\"CLSID\\{11111111-2222-3333-4444-555555555555}\\Implemented "
                           "Categories\" Id=\"reg_"),
                  std::string::npos);
    }
}

TEST(WixFragment, IdsAreStableValidAndPerUserMovesTheClasses) {
    ExportOptions options;
    options.perUser = true;
    options.directoryId = L"APPDIR";
    const auto first =
        WriteWixFragment({Component(CapturedMachine::X86)}, options, ExportFormat::Wxs);
    EXPECT_EQ(first,
              WriteWixFragment({Component(CapturedMachine::X86)}, options, ExportFormat::Wxs));
    EXPECT_EQ(first.find("Root=\"HKCR\""), std::string::npos);
    EXPECT_NE(first.find("Root=\"HKCU\" Key=\"Software\\Classes\\CLSID\\"), std::string::npos);
    EXPECT_NE(first.find("Root=\"HKLM\" Key=\"Software\\Comp\""), std::string::npos);
    EXPECT_NE(first.find("<DirectoryRef Id=\"APPDIR\">"), std::string::npos);
    EXPECT_NE(first.find("<ComponentGroup Id=\"grp_comp\">"), std::string::npos);
    for (std::size_t at = first.find(" Id=\""); at != std::string::npos;
         at = first.find(" Id=\"", at + 1)) {
        const auto id = first.substr(at + 5, first.find('"', at + 5) - at - 5);
        EXPECT_LE(id.size(), 72u);
        EXPECT_TRUE(isalpha(id[0]) || id[0] == '_') << id;
        EXPECT_EQ(id.find_first_not_of(
                      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_."),
                  std::string::npos)
            << id;
    }
}

TEST(AssemblyManifest, ClassesLibrariesAndInterfacesOfTheFile) {
    const auto xml = WriteAssemblyManifest({Component(CapturedMachine::X64)}, {});
    SCOPED_TRACE(xml);
    for (const char* expected :
         {"<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">",
          "<assemblyIdentity type=\"win32\" name=\"comp\" version=\"2.3.4.5\" "
          "processorArchitecture=\"amd64\" />",
          "<file name=\"comp.dll\">",
          "<comClass clsid=\"{11111111-2222-3333-4444-555555555555}\" threadingModel=\"Both\" "
          "progid=\"Comp.Thing.1\" description=\"Thing &lt;&quot;1&quot;&gt; &amp; &apos;two&apos; "
          "[x]\" />",
          "<typelib tlbid=\"{AAAAAAAA-2222-3333-4444-555555555555}\" version=\"1.10\" "
          "flags=\"CONTROL,HIDDEN\" />",
          "<comInterfaceExternalProxyStub name=\"IThing\" "
          "iid=\"{BBBBBBBB-2222-3333-4444-555555555555}\" "
          "proxyStubClsid32=\"{00020424-0000-0000-C000-000000000046}\" />",
          "<!-- Class {99999999-2222-3333-4444-555555555555} is served by "})
        EXPECT_NE(xml.find(expected), std::string::npos) << expected;
    EXPECT_EQ(xml.find("comClass clsid=\"{99999999"), std::string::npos);
    EXPECT_NE(WriteAssemblyManifest({Component(CapturedMachine::X86)}, {})
                  .find("processorArchitecture=\"x86\""),
              std::string::npos);
}

} // namespace
