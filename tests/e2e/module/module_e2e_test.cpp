// The real program with "-r" and "-u" on components it can tell about before
// or after loading them: the outcome message names the cause.

#include "e2e/registration/e2e_helpers.h"

#include "platform/text.h"

using namespace calvorn;
using namespace calvorn::test;

namespace {

// The outcome message of one switch answered Yes.
std::wstring Outcome(const std::wstring& arguments, const std::wstring& program = ProgramPath()) {
    DriveResult r = RunCalvorn(arguments, {IDYES, IDOK}, program);
    EXPECT_TRUE(r.exitCode.has_value()) << "hung";
    EXPECT_FALSE(r.mainWindowSeen);
    if (r.boxes.size() != 2) {
        ADD_FAILURE() << "boxes seen: " << r.boxes.size();
        return {};
    }
    // The box tells a person; the exit code, as -q gives it, the script.
    EXPECT_EQ(r.exitCode == 0u, r.boxes[1].icon == MB_ICONASTERISK) << r.boxes[1].text;
    return r.boxes[1].text;
}

std::wstring Register(const std::wstring& fixture, const std::wstring& program = ProgramPath()) {
    return Outcome(L"-r " + Quoted(FixturePath(fixture)), program);
}

const std::wstring kNotLoaded = L"Selected file could not be loaded into memory!\n";
const std::wstring kNotActiveX = L"Selected file is not a valid ActiveX!\n";

} // namespace

using ModuleE2E = CleanProbes;

TEST_F(ModuleE2E, EachCauseIsNamed) {
    EXPECT_EQ(Register(L"not_a_module.dll"),
              kNotLoaded + L"not_a_module.dll is not a Windows module");
    EXPECT_EQ(
        Register(L"arm64_server.dll"),
        kNotLoaded +
            L"arm64_server.dll is built for ARM64; Calvorn registers x86 and x64 components only");
    EXPECT_EQ(Register(L"dotnet_assembly.dll"),
              kNotActiveX +
                  L"dotnet_assembly.dll is a .NET assembly: it is registered with the .NET "
                  L"registration tool (RegAsm), not through an entry point");
    EXPECT_EQ(Outcome(L"-u " + Quoted(FixturePath(L"probe_plain.dll"))),
              kNotActiveX + L"probe_plain.dll does not export DllUnregisterServer");
    EXPECT_EQ(Register(L"probe_needs_absent.dll"),
              kNotLoaded + L"A DLL it needs cannot be found: probe_needs_absent.dll -> missing "
                           L"calvorn_absent.dll");
    EXPECT_EQ(Register(L"probe_needs_needs.dll"),
              kNotLoaded + L"A DLL it needs cannot be found: probe_needs_needs.dll -> "
                           L"probe_needs_absent.dll -> missing calvorn_absent.dll");
    EXPECT_EQ(Register(L"probe_delay_absent.dll"), L"ActiveX Component registration successful!");
}

TEST_F(ModuleE2E, AComponentOfABitnessWithoutItsPartIsNotLoaded) {
    // The program alone in a folder: no part of the other bitness beside it.
    const std::wstring folder = MakeScratchDir(L"e2e-alone");
    const std::wstring program = CopyInto(ProgramPath(), folder, L"calvorn.exe");
    EXPECT_EQ(
        Register(L"probe_classes64.dll", program),
        kNotLoaded +
            L"probe_classes64.dll is a 64-bit component; the 64-bit part of Calvorn is missing");
    // Nor of its own: no component's code runs in the program's own process.
    EXPECT_EQ(Register(L"probe_good.dll", program),
              kNotLoaded +
                  L"probe_good.dll is a 32-bit component; the 32-bit part of Calvorn is missing");
    EXPECT_FALSE(ProbeText(L"probe_good.dll", L"Path").has_value());
}
