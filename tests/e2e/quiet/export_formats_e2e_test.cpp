// The installer fragments and the registration-free manifest of "-q -e",
// made to work as their users use them: the WiX 3 fragment built with wixl
// into a package that msiexec installs and removes, the WiX 4 fragment read
// by an XML parser, and the manifest that lets a client use the class with
// nothing registered.

#include "batch_runner.h"
#include "fixtures/com/probe_class_ids.h"
#include "integration/registry/raw_registry.h"

#include <thread>

using namespace calvorn;
using namespace calvorn::test;

namespace {

const wchar_t* const kClassKeys[] = {
    L"CLSID\\" PROBE_CLASS_ID,
    L"TypeLib\\" PROBE_CLASS_LIBRARY,
    L"Interface\\{5B1E7C2A-3F4D-4E8A-9C61-0D2F8A7B4C22}",
    PROBE_CLASS_PROGID,
};

// In both registry views: the package's installer may write the 64-bit one,
// and a key left there would be a broken registration for later tests.
void CleanProbeClass() {
    for (const wchar_t* key : kClassKeys) {
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key);
        HKEY classes = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes", 0,
                            KEY_ALL_ACCESS | KEY_WOW64_64KEY, &classes) == ERROR_SUCCESS) {
            ::RegDeleteTreeW(classes, key);
            ::RegCloseKey(classes);
        }
    }
}

bool AnyClassKeyLeft() {
    for (const wchar_t* key : kClassKeys)
        if (KeyExists(HKEY_CLASSES_ROOT, key))
            return true;
    return false;
}

// The Unix path of a path under Wine, for the Unix tools the test runs.
std::string UnixPath(const std::wstring& path) {
    using ToUnix = char*(CDECL*)(const wchar_t*);
    static auto* const toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix)
        return {};
    char* unix = toUnix(path.c_str());
    std::string out = unix ? unix : "";
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return out;
}

// Runs a shell command of the host in `dir`; its exit code, or nothing when
// it did not end in time. Wine starts Unix programs but cannot wait for
// them, so the script leaves its code in a file.
std::optional<int> RunUnix(const std::wstring& dir, const std::string& command) {
    const std::string unixDir = UnixPath(dir);
    WriteText(dir + L"run.sh",
              "cd '" + unixDir + "' && (" + command +
                  ") > unix.log 2>&1; echo $? > unix.rc.tmp && mv unix.rc.tmp unix.rc\n");
    std::wstring line = L"/bin/sh \"" + platform::Widen(unixDir) + L"run.sh\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pi))
        return std::nullopt;
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    if (!WaitUntil([&] { return Exists(dir + L"unix.rc"); }, std::chrono::seconds(120)))
        return std::nullopt;
    return std::stoi(ReadAll(dir + L"unix.rc"));
}

// Runs a Windows program to its end; its exit code.
std::optional<DWORD> RunToEnd(const std::wstring& program, const std::wstring& arguments,
                              const std::wstring& dir = {}) {
    ProgramRun run(program, arguments, dir);
    return run.WaitForExit(std::chrono::seconds(120));
}

std::wstring SystemProgram(const wchar_t* name) {
    wchar_t system[MAX_PATH];
    ::GetSystemDirectoryW(system, MAX_PATH);
    return std::wstring(system) + L"\\" + name;
}

// One export through the real program, which must succeed.
std::string Export(const std::wstring& file, const wchar_t* format, const std::wstring& out) {
    const BatchResult r =
        RunBatch(L"-q -e " + Quoted(file) + L" -format " + format + L" -out " + Quoted(out));
    EXPECT_EQ(r.cmdExit, std::optional<DWORD>(0)) << r.outBytes;
    return ReadAll(out);
}

const wchar_t kNamesClass[] = L"CLSID\\{5B1E7C2A-3F4D-4E8A-9C61-0D2F8A7B4C90}";

// Every key and value a registration or an import could reach, both views.
std::vector<RegistryDump> WholeRegistry() {
    std::vector<RegistryDump> dumps;
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        dumps.push_back(Dump(HKEY_LOCAL_MACHINE, L"Software", view));
        dumps.push_back(Dump(HKEY_CURRENT_USER, L"", view));
    }
    return dumps;
}

// The class's keys and values, in both views.
std::vector<RegistryDump> ClassTree() {
    std::vector<RegistryDump> tree;
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
        tree.push_back(
            Dump(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Classes\\") + kNamesClass, view));
    return tree;
}

class ExportFormatsE2E : public ::testing::Test {
  protected:
    void SetUp() override { CleanProbeClass(); }
    void TearDown() override { CleanProbeClass(); }
};

} // namespace

TEST_F(ExportFormatsE2E, WixThreeFragmentInstallsTheClassAndLeavesNothingWhenRemoved) {
    const std::wstring dir = MakeScratchDir(L"export-wxs3");
    const std::wstring dll = CopyInto(FixturePath(L"probe_class.dll"), dir, L"probe_class.dll");
    std::string fragment = Export(dll, L"wxs3", dir + L"probe_class.wxs");
    ASSERT_FALSE(AnyClassKeyLeft()) << "the export registered the class";
    ASSERT_NE(fragment.find("xmlns=\"http://schemas.microsoft.com/wix/2006/wi\""),
              std::string::npos);
    // wixl reads the file from where it runs, by a Unix path.
    const std::string source = "Source=\"" + platform::Narrow(dll) + "\"";
    const auto at = fragment.find(source);
    ASSERT_NE(at, std::string::npos) << fragment;
    fragment.replace(at, source.size(), "Source=\"probe_class.dll\"");
    WriteText(dir + L"fragment.wxs", fragment);
    WriteText(dir + L"product.wxs", R"(<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="Probe class" Language="1033" Version="1.0.0" Manufacturer="Calvorn tests"
           UpgradeCode="5B1E7C2A-3F4D-4E8A-9C61-0D2F8A7B4C2F">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine" />
    <Media Id="1" Cabinet="probe.cab" EmbedCab="yes" />
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLFOLDER" Name="Calvorn probe class" />
      </Directory>
    </Directory>
    <Feature Id="Main" Level="1"><ComponentGroupRef Id="grp_probe_class" /></Feature>
  </Product>
</Wix>
)");
    ASSERT_EQ(RunUnix(dir, "wixl -a x86 -o probe.msi product.wxs fragment.wxs"), 0)
        << ReadAll(dir + L"unix.log");

    const std::wstring msi = Quoted(dir + L"probe.msi");
    ASSERT_EQ(RunToEnd(SystemProgram(L"msiexec.exe"), L"/i " + msi + L" /qn"), 0u);
    // Installed from the package alone: the class answers from the installed copy.
    EXPECT_EQ(RunToEnd(FixturePath(L"probe_client.exe"), L""), 0u);
    wchar_t server[MAX_PATH] = {};
    LONG size = sizeof server;
    ::RegQueryValueW(HKEY_CLASSES_ROOT, L"CLSID\\" PROBE_CLASS_ID L"\\InprocServer32", server,
                     &size);
    EXPECT_NE(std::wstring(server).find(L"\\Calvorn probe class\\probe_class.dll"),
              std::wstring::npos)
        << platform::Narrow(server);
    ASSERT_EQ(RunToEnd(SystemProgram(L"msiexec.exe"), L"/x " + msi + L" /qn"), 0u);
    EXPECT_FALSE(AnyClassKeyLeft());
    EXPECT_EQ(RunToEnd(FixturePath(L"probe_client.exe"), L""),
              static_cast<DWORD>(REGDB_E_CLASSNOTREG));
}

TEST_F(ExportFormatsE2E, WixFourFragmentIsWellFormedInItsNamespace) {
    const std::wstring dir = MakeScratchDir(L"export-wxs");
    const std::string fragment =
        Export(FixturePath(L"probe_class.dll"), L"wxs", dir + L"probe_class.wxs");
    EXPECT_NE(fragment.find("Value=\"[#fil_probe_class.dll_"), std::string::npos) << fragment;
    // Through standard output: the same bytes, nothing else.
    const BatchResult piped =
        RunBatch(L"-q -e " + Quoted(FixturePath(L"probe_class.dll")) + L" -format wxs -out -");
    EXPECT_EQ(piped.cmdExit, std::optional<DWORD>(0));
    EXPECT_EQ(piped.outBytes, fragment);
    // A parser of its own reads it, and finds the parts a product builds on.
    ASSERT_EQ(RunUnix(dir, R"(python3 -c "
import xml.etree.ElementTree as tree
ns = '{http://wixtoolset.org/schemas/v4/wxs}'
root = tree.parse('probe_class.wxs').getroot()
assert root.tag == ns + 'Wix', root.tag
assert root.find(ns + 'Fragment/' + ns + 'DirectoryRef[@Id=\"INSTALLFOLDER\"]/' + ns + 'Component/' + ns + 'File') is not None
assert root.find(ns + 'Fragment/' + ns + 'ComponentGroup[@Id=\"grp_probe_class\"]') is not None
assert len(root.findall('.//' + ns + 'RegistryValue')) >= 10
")"),
              0)
        << ReadAll(dir + L"unix.log") << fragment;
}

TEST_F(ExportFormatsE2E, ManifestLetsAClientUseTheClassWithNothingRegistered) {
    const std::wstring dir = MakeScratchDir(L"export-manifest");
    const std::wstring dll = CopyInto(FixturePath(L"probe_class.dll"), dir, L"probe_class.dll");
    const std::wstring client =
        CopyInto(FixturePath(L"probe_client.exe"), dir, L"probe_client.exe");
    const std::string manifest = Export(dll, L"manifest", dir + L"probe_class.manifest");
    EXPECT_NE(manifest.find("<assemblyIdentity type=\"win32\" name=\"probe_class\" "
                            "version=\"1.0.0.0\" processorArchitecture=\"x86\" />"),
              std::string::npos)
        << manifest;
    ASSERT_FALSE(AnyClassKeyLeft());
    EXPECT_EQ(RunToEnd(client, L"", dir), static_cast<DWORD>(REGDB_E_CLASSNOTREG));
    WriteText(dir + L"probe_client.exe.manifest",
              R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <assemblyIdentity type="win32" name="probe_client" version="1.0.0.0" processorArchitecture="x86" />
  <dependency>
    <dependentAssembly>
      <assemblyIdentity type="win32" name="probe_class" version="1.0.0.0" processorArchitecture="x86" />
    </dependentAssembly>
  </dependency>
</assembly>
)");
    EXPECT_EQ(RunToEnd(client, L"", dir), 0u);
    EXPECT_FALSE(AnyClassKeyLeft());
}

TEST_F(ExportFormatsE2E, RegFileCarriesEveryNameBackExactlyAndRefusesNamesWithLineBreaks) {
    const std::wstring dir = MakeScratchDir(L"export-names");
    const std::wstring held = FixturePath(L"probe_names.dll");
    const std::wstring inject = FixturePath(L"probe_names_inject.dll");
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kNamesClass);
    // What the component writes when it registers for real is what the
    // import of its export writes, and nothing else anywhere.
    ASSERT_EQ(RunBatch(L"-q -r " + Quoted(held)).cmdExit, std::optional<DWORD>(0));
    const std::vector<RegistryDump> registered = ClassTree();
    ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(kNamesClass) + L"\\[b] ]"));
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kNamesClass);
    const std::vector<RegistryDump> before = WholeRegistry();
    Export(held, L"reg", dir + L"names.reg");
    ASSERT_TRUE(WholeRegistry() == before);
    ASSERT_EQ(RunToEnd(SystemProgram(L"..\\regedit.exe"), L"/s " + Quoted(dir + L"names.reg")), 0u);
    EXPECT_TRUE(ClassTree() == registered) << ReadAll(dir + L"names.reg");
    EXPECT_EQ(registered[0].size(), 4u); // the class key and its three subkeys
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kNamesClass);

    // A key and a value whose names would start lines of their own: nothing
    // is written, and the line names the key.
    const BatchResult r =
        RunBatch(L"-q -e " + Quoted(inject) + L" -out " + Quoted(dir + L"inject.reg"));
    EXPECT_EQ(r.cmdExit, std::optional<DWORD>(10));
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(
        r.err[0].rfind("report-failed \"" + platform::Narrow(dir) + "inject.reg\" 0x8007000D", 0),
        0u)
        << r.err[0];
    EXPECT_NE(r.err[0].find("\\CLSID\\{5B1E7C2A-3F4D-4E8A-9C61-0D2F8A7B4C90}"), std::string::npos)
        << r.err[0];
    EXPECT_NE(r.err[0].find("\\r\\n\"CalvornInjected"), std::string::npos) << r.err[0];
    EXPECT_EQ(r.out, std::vector<std::string>{"1 file: 0 succeeded, 1 failed"});
    EXPECT_FALSE(Exists(dir + L"inject.reg"));
    EXPECT_TRUE(WholeRegistry() == before);
    EXPECT_FALSE(Dump(HKEY_CURRENT_USER, L"", 0)[L""].contains(L"calvorninjected"));
    // The other formats escape the same names, and a parser reads them back.
    Export(inject, L"json", dir + L"inject.jsonl");
    Export(inject, L"wxs", dir + L"inject.wxs");
    ASSERT_EQ(RunUnix(dir, R"(python3 -c "
import json, xml.etree.ElementTree as tree
keys = [k for line in open('inject.jsonl', encoding='utf-8') for k in json.loads(line)['keys']]
assert any(k['key'].endswith('evil]\r\n[HKEY_CURRENT_USER]\r\n\"CalvornInjected\"=\"yes\"\r\n[HKEY_CURRENT_USER') for k in keys), keys
names = [v['name'] for k in keys for v in k['values']]
assert 'a\r\n\"CalvornInjectedValue\"=\"yes' in names and 'after' in names, names
root = tree.parse('inject.wxs').getroot()
found = [e.get('Key') for e in root.iter() if e.get('Key') and '\r\n' in e.get('Key')]
assert found, 'no key with its line break'
")"),
              0)
        << ReadAll(dir + L"unix.log");
}

// Two exports at once to one file, spelled through two drive letters: the
// claim is the file's, so the second is refused at once, before its
// component runs, and the first one's file is whole.
TEST_F(ExportFormatsE2E, OneFileUnderTwoDriveLettersIsOneClaim) {
    const std::wstring dir = MakeScratchDir(L"export-claim");
    ASSERT_EQ(RunUnix(dir, "ln -sfn \"$(pwd)\" \"$WINEPREFIX/dosdevices/q:\""), 0)
        << ReadAll(dir + L"unix.log");
    ASSERT_NE(::GetFileAttributesW(L"Q:\\unix.log"), INVALID_FILE_ATTRIBUTES);
    const std::wstring slow = Quoted(FixturePath(L"probe_slow.dll"));
    BatchResult first;
    std::thread other([&] { first = RunBatch(L"-q -e -wait 30 " + slow + L" -out Q:\\same.reg"); });
    // The claim is a lock of the program's own that nothing outside it shows
    // (the file itself is written only at the end), so the second export is
    // started once the first has surely begun its slow component.
    ::Sleep(3000);
    const auto start = std::chrono::steady_clock::now();
    const BatchResult second = RunBatch(L"-q -e " + slow + L" -out " + Quoted(dir + L"SAME.reg"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
    other.join();
    RunUnix(dir, "rm -f \"$WINEPREFIX/dosdevices/q:\"");
    EXPECT_EQ(first.cmdExit, std::optional<DWORD>(0)) << first.outBytes;
    EXPECT_EQ(second.cmdExit, std::optional<DWORD>(10)) << second.outBytes;
    ASSERT_EQ(second.err.size(), 1u);
    EXPECT_EQ(second.err[0].rfind(
                  "report-failed \"" + platform::Narrow(dir) + "SAME.reg\" 0x80070020", 0),
              0u)
        << second.err[0];
    EXPECT_EQ(ReadAll(dir + L"same.reg").substr(0, 2), "\xFF\xFE");
}
