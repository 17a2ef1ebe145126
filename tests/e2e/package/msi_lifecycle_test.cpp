// The MSI the way an administrator uses it: silent install over an older
// package, a second install, the installed program at work, silent removal,
// and afterwards a machine that looks as it did before.

#include "app/version.h"
#include "fixtures/com/probe_registry.h"
#include "integration/shell_verbs/classes_scope.h"
#include "platform/text.h"
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

struct ShippedFile {
    std::wstring folder; // where the MSI puts it, ending in "\"
    std::wstring name;
};

std::wstring Environment(const wchar_t* name) {
    wchar_t buffer[MAX_PATH];
    DWORD n = ::GetEnvironmentVariableW(name, buffer, MAX_PATH);
    return n && n < MAX_PATH ? std::wstring(buffer, n) : std::wstring();
}

// Where the MSI puts the 32-bit and the 64-bit parts.
const std::wstring kFolder32 = Environment(L"ProgramFiles(x86)") + L"\\Calvorn\\";
const std::wstring kFolder64 = Environment(L"ProgramW6432") + L"\\Calvorn\\";

// packaging/files.txt, the one list of what ships.
std::vector<ShippedFile> ShippedFiles() {
    std::ifstream list(CALVORN_SOURCE_DIR "/packaging/files.txt");
    std::vector<ShippedFile> files;
    for (std::string line; std::getline(list, line);) {
        std::istringstream fields(line);
        std::string bitness, path;
        if (!(fields >> bitness >> path) || bitness[0] == '#')
            continue;
        std::string name = path.substr(path.find_last_of('/') + 1);
        files.push_back(
            {bitness == "64" ? kFolder64 : kFolder32, std::wstring(name.begin(), name.end())});
    }
    return files;
}

std::wstring PackagePath(const std::wstring& version) {
    return BuildDir() + L"scratch\\package\\calvorn-" + version + L".msi";
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
// views of HKCR) and HKCU\Software. Left out: Wine's own bookkeeping, and the
// program's per-user settings, which stay with the user like any user data.
RegistryDump MachineRegistry() {
    RegistryDump dump = Dump(HKEY_LOCAL_MACHINE, L"Software", KEY_WOW64_64KEY);
    for (auto& [path, values] : Dump(HKEY_CURRENT_USER, L"Software", 0))
        dump[L"hkcu\\" + path] = std::move(values);
    std::erase_if(dump, [](const auto& entry) {
        for (const wchar_t* skipped : {L"software\\wine", L"software\\wow6432node\\wine",
                                       L"hkcu\\software\\wine", L"hkcu\\software\\calvorn"})
            if (entry.first.rfind(skipped, 0) == 0)
                return true;
        return false;
    });
    return dump;
}

// Keys added or removed and keys whose values changed. An added key that
// holds no value anywhere below it changes nothing (Windows Installer's own
// empty containers, a verb parent "shell" key), so it does not count.
std::vector<std::wstring> Differences(const RegistryDump& before, const RegistryDump& after) {
    std::vector<std::wstring> changed;
    for (auto it = after.begin(); it != after.end(); ++it) {
        auto old = before.find(it->first);
        if (old != before.end()) {
            if (old->second != it->second)
                changed.push_back(L"changed " + it->first);
            continue;
        }
        bool holdsValues = false;
        for (auto below = it; below != after.end() && below->first.rfind(it->first, 0) == 0;
             ++below)
            holdsValues = holdsValues || !below->second.empty();
        if (holdsValues)
            changed.push_back(L"added " + it->first);
    }
    for (const auto& [path, values] : before)
        if (!after.contains(path))
            changed.push_back(L"removed " + path);
    return changed;
}

// Removes whatever version is left at the end, so no other test meets it.
struct Uninstaller {
    ~Uninstaller() {
        for (const std::wstring& product : InstalledProducts())
            Msiexec(L"/x " + product + L" /qn");
    }
};

DriveResult RunInstalled(const std::wstring& program, const std::wstring& arguments) {
    return Drive(program, arguments, {IDYES, IDOK}, 60s);
}

} // namespace

TEST(MsiPackage, SilentUpgradeUseAndRemovalLeaveNothingBehind) {
    const std::vector<ShippedFile> files = ShippedFiles();
    ASSERT_GE(files.size(), 6u);
    ASSERT_TRUE(InstalledProducts().empty()) << "Calvorn is installed before the test";
    // The file types an administrator's machine has (a bare prefix lacks them).
    ScopedFileType dll(L".dll", L"dllfile");
    ScopedFileType exe(L".exe", L"exefile");
    CleanProbeRegistry();
    const RegistryDump before = MachineRegistry();
    Uninstaller uninstaller;

    const std::wstring current = PackagePath(kVersion);
    const std::wstring older = PackagePath(L"0.0.1.0");
    const std::wstring log = MakeScratchDir(L"msi") + L"install.log";
    {
        SCOPED_TRACE("an older package, then this one over it");
        EXPECT_EQ(Msiexec(L"/i \"" + older + L"\" /qn"), 0u);
        ASSERT_EQ(InstalledProducts().size(), 1u);
        EXPECT_EQ(ProductInfo(InstalledProducts()[0], INSTALLPROPERTY_VERSIONSTRING), L"0.0.1.0");
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
    for (const ShippedFile& file : files)
        EXPECT_TRUE(Exists(file.folder + file.name)) << calvorn::platform::Narrow(file.name);
    EXPECT_TRUE(StartMenuShortcutThere());

    const std::wstring program = kFolder32 + L"calvorn.exe";
    {
        SCOPED_TRACE("the installed program registers a component and writes its verbs");
        const std::wstring fixture = FixturePath(L"probe_good.dll");
        DriveResult r = RunInstalled(program, L"-r \"" + fixture + L"\"");
        ASSERT_EQ(r.boxes.size(), 2u);
        EXPECT_EQ(r.boxes[1].text, L"ActiveX Component registration successful!");
        EXPECT_EQ(ProbeText(L"probe_good.dll", L"Path"), fixture);
        r = RunInstalled(program, L"-u \"" + fixture + L"\"");
        ASSERT_EQ(r.boxes.size(), 2u);
        EXPECT_EQ(r.boxes[1].text, L"ActiveX Component unregistration successful!");

        EXPECT_EQ(Drive(program, L"-s", {}, 60s).exitCode, 0u);
        ExpectFileTypeVerbs(dll.ProgId(), L"\"" + program + L"\"");
        // The folder verb as the Options tab writes it, and another tool's verb.
        WriteRaw(HKEY_CLASSES_ROOT, L"Folder\\shell\\ActiveX Report\\command", L"",
                 SzValue(L"\"" + program + L"\" -f \"%1\""));
        WriteRaw(HKEY_CLASSES_ROOT, dll.ProgId() + L"\\shell\\OtherTool\\command", L"",
                 SzValue(L"other.exe \"%1\""));
    }
    {
        SCOPED_TRACE("silent removal");
        const std::wstring removalLog = MakeScratchDir(L"msi") + L"remove.log";
        EXPECT_EQ(Msiexec(L"/x \"" + current + L"\" /qn /l*v \"" + removalLog + L"\""), 0u);
        EXPECT_TRUE(InstalledProducts().empty());
        for (const ShippedFile& file : files)
            EXPECT_FALSE(Exists(file.folder + file.name)) << calvorn::platform::Narrow(file.name);
        EXPECT_FALSE(Exists(kFolder32)) << "the program folders go too";
        EXPECT_FALSE(Exists(kFolder64));
        EXPECT_FALSE(StartMenuShortcutThere());
        for (const std::wstring* progId : {&dll.ProgId(), &exe.ProgId()})
            for (const wchar_t* verb : {L"Register", L"UnRegister", L"Calvorn"})
                EXPECT_FALSE(ClassesKeyThere(*progId + L"\\shell\\" + verb))
                    << calvorn::platform::Narrow(*progId + L" " + verb);
        EXPECT_FALSE(ClassesKeyThere(L"Folder\\shell\\ActiveX Report"));
        EXPECT_EQ(ClassesValue(dll.ProgId() + L"\\shell\\OtherTool\\command"),
                  SzValue(L"other.exe \"%1\""))
            << "another tool's verb stays";
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, (dll.ProgId() + L"\\shell\\OtherTool").c_str());
    }
    for (const std::wstring& difference : Differences(before, MachineRegistry()))
        ADD_FAILURE() << "left behind: " << calvorn::platform::Narrow(difference);
}
