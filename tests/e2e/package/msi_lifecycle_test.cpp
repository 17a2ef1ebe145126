// The MSI the way an administrator uses it: silent install over an older
// package, a second install, the installed program at work, silent removal,
// and afterwards a machine that looks as it did before.

#include "app/version.h"
#include "fixtures/com/probe_registry.h"
#include "integration/shell_verbs/classes_scope.h"
#include "packaging/explorer_verb_removal.h"
#include "platform/text.h"
#include "registry/registry_accessor.h"
#include "support/test_paths.h"
#include "tools/drive_session.h"

#include <windows.h>

#include <msi.h>
#include <shlobj.h>

#include <fstream>
#include <sstream>

using namespace calvorn::test;
using namespace std::chrono_literals;

namespace {

const std::wstring kVersion = L"" CALVORN_VERSION_TEXT;
// Pinned here on purpose: a changed UpgradeCode would install a new version
// beside the old one instead of replacing it.
const wchar_t* const kUpgradeCode = L"{2A77E9F7-DFCF-4AD4-90B1-8B6ACE7B4FE2}";
const wchar_t* const kPortableFolderVerb = L"\"C:\\Tools\\Calvorn\\calvorn.exe\" -f \"%1\"";

std::wstring Environment(const wchar_t* name) {
    wchar_t buffer[MAX_PATH];
    DWORD n = ::GetEnvironmentVariableW(name, buffer, MAX_PATH);
    return std::wstring(buffer, n < MAX_PATH ? n : 0);
}

// Where the MSI puts the 32-bit and the 64-bit parts.
const std::wstring kFolder32 = Environment(L"ProgramFiles(x86)") + L"\\Calvorn\\";
const std::wstring kFolder64 = Environment(L"ProgramW6432") + L"\\Calvorn\\";

// The installed path of every file of packaging/files.txt, the one list.
std::vector<std::wstring> ShippedFiles() {
    std::ifstream list(CALVORN_SOURCE_DIR "/packaging/files.txt");
    std::vector<std::wstring> files;
    for (std::string line, bitness, path; std::getline(list, line);)
        if (std::istringstream(line) >> bitness >> path && bitness[0] != '#')
            files.push_back((bitness == "64" ? kFolder64 : kFolder32) +
                            calvorn::platform::Widen(path.substr(path.rfind('/') + 1)));
    return files;
}

std::wstring PackagePath(const std::wstring& folder, const std::wstring& version) {
    return BuildDir() + L"scratch\\package\\" + folder + L"calvorn-" + version + L".msi";
}

DWORD Msiexec(const std::wstring& arguments) {
    wchar_t system[MAX_PATH];
    ::GetSystemDirectoryW(system, MAX_PATH);
    ProgramRun run(std::wstring(system) + L"\\msiexec.exe", arguments);
    EXPECT_TRUE(run.Started());
    std::optional<DWORD> code = run.WaitForExit(180s);
    EXPECT_TRUE(code.has_value()) << "msiexec " << calvorn::platform::Narrow(arguments);
    return code.value_or(~0u);
}

std::vector<std::wstring> InstalledProducts() {
    std::vector<std::wstring> products;
    wchar_t code[39];
    for (DWORD i = 0; ::MsiEnumRelatedProductsW(kUpgradeCode, 0, i, code) == ERROR_SUCCESS; ++i)
        products.emplace_back(code);
    return products;
}

std::wstring ProductInfo(const std::wstring& product, const wchar_t* property) {
    wchar_t value[MAX_PATH] = L"";
    DWORD size = MAX_PATH;
    ::MsiGetProductInfoW(product.c_str(), property, value, &size);
    return value;
}

// Per-machine shortcuts land in the common Start menu; Wine puts them in the
// user's own, so either counts.
bool StartMenuShortcutThere() {
    for (int folder : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
        wchar_t path[MAX_PATH];
        if (SUCCEEDED(::SHGetFolderPathW(nullptr, folder, nullptr, 0, path)) &&
            Exists(std::wstring(path) + L"\\Calvorn.lnk"))
            return true;
    }
    return false;
}

// HKLM\Software in the 64-bit view (its Classes and Wow6432Node hold both
// views of HKCR) and HKCU\Software: the keys that hold values. Left out: keys
// without values, which change nothing (Windows Installer's own containers, a
// verb's parent "shell" key); Wine's own bookkeeping; and the program's
// per-user settings, which stay with the user like any user data.
RegistryDump MachineRegistry() {
    RegistryDump dump = Dump(HKEY_LOCAL_MACHINE, L"Software", KEY_WOW64_64KEY);
    for (auto& [path, values] : Dump(HKEY_CURRENT_USER, L"Software", 0))
        dump[L"hkcu\\" + path] = std::move(values);
    std::erase_if(dump, [](const auto& entry) {
        for (const wchar_t* skipped : {L"software\\wine", L"software\\wow6432node\\wine",
                                       L"hkcu\\software\\wine", L"hkcu\\software\\calvorn"})
            if (entry.first.rfind(skipped, 0) == 0)
                return true;
        return entry.second.empty();
    });
    return dump;
}

// Removes whatever version is installed: one left by a run that stopped
// half-way, and at the end whatever happened, so no other test meets it.
void RemoveInstalled() {
    for (const std::wstring& product : InstalledProducts())
        Msiexec(L"/x " + product + L" /qn");
}
struct Uninstaller {
    ~Uninstaller() { RemoveInstalled(); }
};

} // namespace

TEST(MsiPackage, SilentUpgradeUseAndRemovalLeaveNothingBehind) {
    const std::vector<std::wstring> files = ShippedFiles();
    ASSERT_GE(files.size(), 6u);
    RemoveInstalled();
    ASSERT_TRUE(InstalledProducts().empty());
    // The file types an administrator's machine has (a bare prefix lacks them).
    ScopedFileType dll(L".dll", L"dllfile");
    ScopedFileType exe(L".exe", L"exefile");
    CleanProbeRegistry();
    const RegistryDump before = MachineRegistry();
    Uninstaller uninstaller;

    const std::wstring current = PackagePath(L"", kVersion);
    const std::wstring older = PackagePath(L"", L"0.0.1.0");
    const std::wstring log = MakeScratchDir(L"msi") + L"install.log";
    {
        SCOPED_TRACE("an older package, another build of this version, then this one");
        EXPECT_EQ(Msiexec(L"/i \"" + older + L"\" /qn"), 0u);
        ASSERT_EQ(InstalledProducts().size(), 1u);
        EXPECT_EQ(ProductInfo(InstalledProducts()[0], INSTALLPROPERTY_VERSIONSTRING), L"0.0.1.0");
        EXPECT_EQ(Msiexec(L"/i \"" + PackagePath(L"rebuild\\", kVersion) + L"\" /qn"), 0u);
        EXPECT_EQ(Msiexec(L"/i \"" + current + L"\" /qn /l*v \"" + log + L"\""), 0u);
        EXPECT_GT(ReadAll(log).size(), 1000u) << "a verbose log";
        EXPECT_EQ(Msiexec(L"/i \"" + current + L"\" /qn"), 0u) << "installing twice";
        EXPECT_NE(Msiexec(L"/i \"" + older + L"\" /qn"), 0u) << "no downgrade";
        std::vector<std::wstring> products = InstalledProducts();
        ASSERT_EQ(products.size(), 1u) << "one installed version";
        EXPECT_EQ(ProductInfo(products[0], INSTALLPROPERTY_VERSIONSTRING), kVersion);
        EXPECT_EQ(ProductInfo(products[0], INSTALLPROPERTY_PUBLISHER), L"The Calvorn developers");
        EXPECT_TRUE(Exists(ProductInfo(products[0], INSTALLPROPERTY_PRODUCTICON)))
            << "the icon of Programs and Features";
    }
    for (const std::wstring& file : files)
        EXPECT_TRUE(Exists(file)) << calvorn::platform::Narrow(file);
    EXPECT_TRUE(StartMenuShortcutThere());

    const std::wstring program = kFolder32 + L"calvorn.exe";
    {
        SCOPED_TRACE("the installed program registers a component and writes its verbs");
        const std::wstring fixture = FixturePath(L"probe_good.dll");
        DriveResult r = Drive(program, L"-r \"" + fixture + L"\"", {IDYES, IDOK});
        ASSERT_EQ(r.boxes.size(), 2u);
        EXPECT_EQ(r.boxes[1].text, L"ActiveX Component registration successful!");
        EXPECT_EQ(ProbeText(L"probe_good.dll", L"Path"), fixture);
        r = Drive(program, L"-u \"" + fixture + L"\"", {IDYES, IDOK});
        ASSERT_EQ(r.boxes.size(), 2u);
        EXPECT_EQ(r.boxes[1].text, L"ActiveX Component unregistration successful!");

        EXPECT_EQ(Drive(program, L"-s", {}).exitCode, 0u);
        ExpectFileTypeVerbs(dll.ProgId(), L"\"" + program + L"\"");
        // A portable copy's folder verb and another tool's verb: both stay.
        WriteRaw(HKEY_CLASSES_ROOT, L"Folder\\shell\\ActiveX Report\\command", L"",
                 SzValue(kPortableFolderVerb));
        WriteRaw(HKEY_CLASSES_ROOT, dll.ProgId() + L"\\shell\\OtherTool\\command", L"",
                 SzValue(L"other.exe \"%1\""));
    }
    {
        SCOPED_TRACE("silent removal");
        const std::wstring removalLog = MakeScratchDir(L"msi") + L"remove.log";
        EXPECT_EQ(Msiexec(L"/x \"" + current + L"\" /qn /l*v \"" + removalLog + L"\""), 0u);
        EXPECT_TRUE(InstalledProducts().empty());
        for (const std::wstring& file : files)
            EXPECT_FALSE(Exists(file)) << calvorn::platform::Narrow(file);
        EXPECT_FALSE(Exists(kFolder32)) << "the program folders go too";
        EXPECT_FALSE(Exists(kFolder64));
        EXPECT_FALSE(StartMenuShortcutThere());
        for (const std::wstring* progId : {&dll.ProgId(), &exe.ProgId()})
            for (const wchar_t* verb : {L"Register", L"UnRegister", L"Calvorn"})
                EXPECT_FALSE(ClassesKeyThere(*progId + L"\\shell\\" + verb))
                    << calvorn::platform::Narrow(*progId + L" " + verb);
        EXPECT_EQ(ClassesValue(L"Folder\\shell\\ActiveX Report\\command"),
                  SzValue(kPortableFolderVerb));
        EXPECT_EQ(ClassesValue(dll.ProgId() + L"\\shell\\OtherTool\\command"),
                  SzValue(L"other.exe \"%1\""));
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Folder\\shell\\ActiveX Report");
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, (dll.ProgId() + L"\\shell\\OtherTool").c_str());
    }
    const RegistryDump after = MachineRegistry();
    for (const auto& [path, values] : after)
        if (auto old = before.find(path); old == before.end() || old->second != values)
            ADD_FAILURE() << "left behind: " << calvorn::platform::Narrow(path);
    for (const auto& [path, values] : before)
        if (!after.contains(path))
            ADD_FAILURE() << "removed: " << calvorn::platform::Narrow(path);
}

// The removal goes by the command as the program writes it: the installed
// program in a folder whose name holds "%" (doubled in the command) still
// loses its verbs, and a portable copy elsewhere keeps its own.
TEST(MsiPackage, RemovalFindsTheVerbsOfAProgramInAFolderWithPercentSigns) {
    ScopedFileType dll(L".dll", L"dllfile");
    const std::wstring installed = L"C:\\Program Files\\Cal%vorn 100%%\\calvorn.exe";
    calvorn::registry::RegistryAccessor registry;
    ASSERT_TRUE(registry.CreateShellAssociation(installed, L".dll").empty());
    ASSERT_TRUE(
        registry.CreateShellAssociation(L"C:\\Tools\\Cal%vorn\\calvorn.exe", L"Folder").empty());
    std::vector<std::wstring> log;
    calvorn::packaging::RemoveVerbsOfPrograms(
        {L"C:\\Program Files\\Cal%vorn 100%%\\calvorn64.exe", installed},
        [&log](const std::wstring& line) { log.push_back(line); });
    for (const wchar_t* verb : {L"Register", L"UnRegister", L"Calvorn"})
        EXPECT_FALSE(ClassesKeyThere(dll.ProgId() + L"\\shell\\" + verb))
            << calvorn::platform::Narrow(verb);
    EXPECT_EQ(ClassesValue(L"Folder\\shell\\ActiveX Report\\command"),
              SzValue(L"\"C:\\Tools\\Cal%%vorn\\calvorn.exe\" -f \"%1\""));
    EXPECT_EQ(log, std::vector<std::wstring>{L"RemoveExplorerVerbs: removed the verbs of .dll."});
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Folder\\shell\\ActiveX Report");
}
