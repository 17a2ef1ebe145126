// The header reader on real files, and the registration front-end's check
// before and after the load, with the real engine and a fake message box.

#include "inspection/image_file.h"
#include "inspection/import_search.h"
#include "inspection/module_report.h"
#include "inspection/typelib_info.h"
#include "registration/registration_prompter.h"
#include "support/fake_message_box.h"
#include "support/test_paths.h"

#include <windows.h>

#include <gtest/gtest.h>

using namespace calvorn;
using namespace calvorn::inspection;
using namespace calvorn::registration;
using namespace calvorn::test;

namespace {

std::string Imports(const ModuleFacts& facts) {
    std::string list;
    for (const ModuleImport& import : facts.imports)
        if (import.dll.rfind("calvorn", 0) == 0 || import.dll.rfind("probe", 0) == 0)
            list += import.dll + (import.delayLoaded ? "(delay) " : " ");
    return list;
}

// The second line of the message a registration shows.
std::wstring Cause(const std::wstring& fixture, Operation operation = Operation::Register) {
    FakeMessageBox box;
    RegistrationPrompter registrator(box);
    if (operation == Operation::Register)
        registrator.RegisterActiveX(FixturePath(fixture));
    else
        registrator.UnRegisterActiveX(FixturePath(fixture));
    if (box.shown.size() != 1)
        return L"<" + std::to_wstring(box.shown.size()) + L" messages>";
    const auto line = box.shown[0].text.find(L'\n');
    return line == std::wstring::npos ? L"" : box.shown[0].text.substr(line + 1);
}

} // namespace

TEST(ModuleFactsOfFiles, CompiledServersOfBothBitnesses) {
    const auto x86 = ReadModuleFactsOf(FixturePath(L"probe_classes.dll"));
    ASSERT_EQ(x86.read, ModuleRead::Read);
    EXPECT_EQ(x86.facts.machine, Machine::X86);
    EXPECT_TRUE(x86.facts.isDll);
    EXPECT_TRUE(x86.facts.exportsRegister && x86.facts.exportsUnregister);
    EXPECT_FALSE(x86.facts.exportsInstall || x86.facts.isDotNet || x86.facts.damaged);

    const auto x64 = ReadModuleFactsOf(FixturePath(L"probe_classes64.dll"));
    EXPECT_EQ(x64.facts.machine, Machine::X64);
    EXPECT_TRUE(x64.facts.is64Bit);

    EXPECT_EQ(Imports(ReadModuleFactsOf(FixturePath(L"probe_needs_needs.dll")).facts),
              "probe_needs_absent.dll ");
    EXPECT_EQ(Imports(ReadModuleFactsOf(FixturePath(L"probe_delay_absent.dll")).facts),
              "calvorn_absent.dll(delay) ");
    EXPECT_EQ(ReadModuleFactsOf(FixturePath(L"not_a_module.dll")).read,
              ModuleRead::NotWindowsModule);
    EXPECT_EQ(ReadModuleFactsOf(FixturePath(L"no such file.dll")).read, ModuleRead::Unreadable);
}

TEST(ModuleFactsOfFiles, TheLoadersSearchFindsWhatIsBesideAndInTheSystem) {
    LoaderImportSearch search(FixturePath(L"probe_needs_needs.dll"), false);
    const auto beside = search.Find("probe_needs_absent.dll");
    ASSERT_TRUE(beside);
    EXPECT_FALSE(search.IsSystemFile(*beside));
    const auto kernel = search.Find("KERNEL32.dll");
    ASSERT_TRUE(kernel);
    EXPECT_TRUE(search.IsSystemFile(*kernel));
    EXPECT_FALSE(search.Find("calvorn_absent.dll"));
}

TEST(RegistrationCheck, EachCauseInTheMessage) {
    EXPECT_EQ(Cause(L"not_a_module.dll"), L"not_a_module.dll is not a Windows module");
    EXPECT_EQ(
        Cause(L"arm64_server.dll"),
        L"arm64_server.dll is built for ARM64; Calvorn registers x86 and x64 components only");
    EXPECT_EQ(Cause(L"dotnet_assembly.dll"),
              L"dotnet_assembly.dll is a .NET assembly: it is registered with the .NET "
              L"registration tool (RegAsm), not through an entry point");
    EXPECT_EQ(Cause(L"probe_plain.dll", Operation::Unregister),
              L"probe_plain.dll does not export DllUnregisterServer");
    EXPECT_EQ(Cause(L"probe_needs_absent.dll"),
              L"A DLL it needs cannot be found: probe_needs_absent.dll -> missing "
              L"calvorn_absent.dll");
    EXPECT_EQ(Cause(L"probe_needs_needs.dll"),
              L"A DLL it needs cannot be found: probe_needs_needs.dll -> probe_needs_absent.dll "
              L"-> missing calvorn_absent.dll");
    // Delay-loaded: found missing only when called, so it registers.
    EXPECT_EQ(Cause(L"probe_delay_absent.dll"), L"");
    EXPECT_EQ(Cause(L"probe_delay_absent.dll", Operation::Unregister), L"");
}

TEST(ModuleReport, MachineKindEntryPointsAndMissingDlls) {
    const auto value = [](const std::wstring& fixture, const std::wstring& label) {
        std::wstring values;
        for (const ModuleRow& row : ModuleRowsOf(FixturePath(fixture)))
            if (row.label == label)
                values += (values.empty() ? L"" : L" | ") + row.value;
        return values;
    };
    EXPECT_EQ(value(L"probe_classes64.dll", L"Machine: "), L"x64 (64-bit)");
    EXPECT_EQ(value(L"probe_classes64.dll", L"Entry Points: "),
              L"DllRegisterServer, DllUnregisterServer");
    EXPECT_EQ(value(L"probe_classes64.dll", L"Missing DLLs: "), L"None");
    EXPECT_EQ(value(L"arm64_server.dll", L"Machine: "), L"ARM64 (64-bit)");
    EXPECT_EQ(value(L"dotnet_assembly.dll", L"Kind: "), L"DLL, .NET assembly");
    EXPECT_EQ(value(L"imports_x64.exe", L"Kind: "), L"EXE");
    EXPECT_EQ(value(L"not_a_module.dll", L"Machine: "), L"Not a Windows module");
    EXPECT_EQ(value(L"probe_needs_needs.dll", L"Missing DLL: "),
              L"probe_needs_absent.dll -> calvorn_absent.dll");
    EXPECT_EQ(value(L"probe_delay_absent.dll", L"Missing DLL: "),
              L"calvorn_absent.dll (delay-loaded)");
    EXPECT_TRUE(ModuleRowsOf(FixturePath(L"no such file.dll")).empty());
}

TEST(TypeLibHelper, TheComponentsBitnessReadsIt) {
    using platform::Bitness;
    EXPECT_EQ(TypeLibInfo::ReaderBitness(FixturePath(L"probe_classes64.dll")), Bitness::x64);
    EXPECT_EQ(TypeLibInfo::ReaderBitness(FixturePath(L"tl_alpha.dll")), Bitness::x86);
    EXPECT_EQ(TypeLibInfo::ReaderBitness(FixturePath(L"not_a_module.dll")), platform::OwnBitness());
}

// A 32-bit program is given the system folder's path: it reads the file the
// user named there, not the 32-bit twin the platform would substitute.
TEST(ModuleFactsOfFiles, TheSystemFolderIsSeenAsNamed) {
    wchar_t windows[MAX_PATH];
    ASSERT_GT(::GetWindowsDirectoryW(windows, MAX_PATH), 0u);
    const std::wstring name = L"\\calvorn_probe_redirect.dll";
    const std::wstring native = std::wstring(windows) + L"\\Sysnative" + name;
    const std::wstring wow64 = std::wstring(windows) + L"\\SysWOW64" + name;
    ASSERT_TRUE(::CopyFileW(FixturePath(L"probe_classes64.dll").c_str(), native.c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW(FixturePath(L"probe_classes.dll").c_str(), wow64.c_str(), FALSE));
    const auto named = ReadModuleFactsOf(std::wstring(windows) + L"\\System32" + name);
    EXPECT_EQ(named.facts.machine, Machine::X64);
    ::DeleteFileW(native.c_str());
    ::DeleteFileW(wow64.c_str());
}
