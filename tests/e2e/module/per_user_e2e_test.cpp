// Both builds of the program, with every part beside them: a component of
// either bitness is registered by the host of its bitness, for the machine
// or for this user only. Per user, its keys land under
// HKEY_CURRENT_USER\Software\Classes alone and unregistering takes all of
// them away again.

#include "e2e/registration/e2e_helpers.h"
#include "integration/registry/raw_registry.h"

#include "platform/text.h"

#include <algorithm>
#include <tuple>

using namespace calvorn;
using namespace calvorn::test;

namespace {

const wchar_t* const kClsid = L"CLSID\\{7A3C9E51-2B64-4D1F-8E0A-5C6B7D8E9F12}";
const wchar_t* const kProgId = L"CalvornProbe.Classes";
const std::wstring kRegistered = L"ActiveX Component registration successful!";
const std::wstring kUnregistered = L"ActiveX Component unregistration successful!";

// A folder holding the program and its parts of both bitnesses.
struct Programs {
    std::wstring program32;
    std::wstring program64;
};

const Programs& BothBuilds() {
    static const Programs programs = [] {
        const std::wstring folder = MakeScratchDir(L"e2e-both");
        const std::wstring build64 = BuildDir() + L"..\\win64\\";
        for (const wchar_t* part : {L"calvorn-reghost32.exe", L"calvorn-typelib32.exe"})
            CopyInto(BuildDir() + part, folder, part);
        for (const wchar_t* part :
             {L"calvorn64.exe", L"calvorn-reghost64.exe", L"calvorn-typelib64.exe"})
            CopyInto(build64 + part, folder, part);
        return Programs{CopyInto(ProgramPath(), folder, L"calvorn.exe"), folder + L"calvorn64.exe"};
    }();
    return programs;
}

std::wstring Outcome(const std::wstring& program, const std::wstring& arguments) {
    DriveResult r = RunCalvorn(arguments, {IDYES, IDOK}, program);
    EXPECT_TRUE(r.exitCode.has_value()) << "hung";
    if (r.boxes.size() != 2) {
        ADD_FAILURE() << "boxes seen: " << r.boxes.size();
        return {};
    }
    // The box tells a person; the exit code, as -q gives it, the script.
    EXPECT_EQ(r.exitCode == 0u, r.boxes[1].icon == MB_ICONASTERISK) << r.boxes[1].text;
    return r.boxes[1].text;
}

// The probe's keys in the machine's classes, in both registry views.
bool InMachineClasses() {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
        for (const wchar_t* key : {kClsid, kProgId})
            if (!Dump(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Classes\\") + key, view).empty())
                return true;
    return false;
}

RegistryDump UserClasses() {
    return Dump(HKEY_CURRENT_USER, L"Software\\Classes", KEY_WOW64_64KEY);
}

void ForgetProbeClasses() {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        HKEY classes = nullptr;
        if (::RegOpenKeyExW(root, L"Software\\Classes", 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                            &classes) != ERROR_SUCCESS)
            continue;
        for (const wchar_t* folder : {L"", L"Wow6432Node\\"})
            for (const wchar_t* key : {kClsid, kProgId})
                ::RegDeleteTreeW(classes, (std::wstring(folder) + key).c_str());
        ::RegCloseKey(classes);
    }
}

class PerUserE2E : public ::testing::Test {
  protected:
    void SetUp() override { ForgetProbeClasses(); }
    void TearDown() override { ForgetProbeClasses(); }
};

} // namespace

TEST_F(PerUserE2E, EachBuildRegistersEitherBitnessForTheMachine) {
    for (const std::wstring& program : {BothBuilds().program32, BothBuilds().program64}) {
        for (const wchar_t* fixture : {L"probe_classes.dll", L"probe_classes64.dll"}) {
            const std::wstring path = FixturePath(fixture);
            SCOPED_TRACE(platform::Narrow(program + L" " + fixture));
            EXPECT_EQ(Outcome(program, L"-r " + Quoted(path)), kRegistered);
            EXPECT_TRUE(InMachineClasses());
            EXPECT_EQ(Outcome(program, L"-u " + Quoted(path)), kUnregistered);
            EXPECT_FALSE(InMachineClasses());
        }
    }
}

TEST_F(PerUserE2E, ForThisUserOnlyTheUsersClassesChangeAndAreRestored) {
    for (const std::wstring& program : {BothBuilds().program32, BothBuilds().program64}) {
        for (const wchar_t* fixture : {L"probe_classes.dll", L"probe_classes64.dll"}) {
            const std::wstring path = FixturePath(fixture);
            SCOPED_TRACE(platform::Narrow(program + L" " + fixture));
            const RegistryDump before = UserClasses();
            EXPECT_EQ(Outcome(program, L"-r -user " + Quoted(path)), kRegistered);
            const RegistryDump registered = UserClasses();
            std::vector<std::wstring> added;
            for (const auto& [key, values] : registered)
                if (!before.count(key))
                    added.push_back(key);
            EXPECT_FALSE(added.empty());
            // The probe's keys, and the containers (CLSID, ...) made to hold them.
            auto isProbeKey = [](const std::wstring& key) {
                return key.find(L"{7a3c9e51-2b64-4d1f-8e0a-5c6b7d8e9f12}") != std::wstring::npos ||
                       key.find(L"calvornprobe.classes") != std::wstring::npos;
            };
            for (const std::wstring& key : added)
                EXPECT_TRUE(isProbeKey(key) || std::any_of(added.begin(), added.end(),
                                                           [&](const std::wstring& other) {
                                                               return isProbeKey(other) &&
                                                                      other.rfind(key + L"\\", 0) ==
                                                                          0;
                                                           }))
                    << platform::Narrow(key);
            EXPECT_FALSE(InMachineClasses());

            EXPECT_EQ(Outcome(program, L"-u -user " + Quoted(path)), kUnregistered);
            EXPECT_EQ(UserClasses(), before);
        }
    }
}

TEST_F(PerUserE2E, UnregisteringForTheUserLeavesTheMachinesRegistration) {
    const std::wstring path = FixturePath(L"probe_classes.dll");
    const std::wstring program = BothBuilds().program32;
    EXPECT_EQ(Outcome(program, L"-r " + Quoted(path)), kRegistered);
    EXPECT_EQ(Outcome(program, L"-r -user " + Quoted(path)), kRegistered);
    EXPECT_EQ(Outcome(program, L"-u -user " + Quoted(path)), kUnregistered);
    EXPECT_TRUE(InMachineClasses());
    EXPECT_TRUE(Dump(HKEY_CURRENT_USER, std::wstring(L"Software\\Classes\\") + kProgId, 0).empty());
}

TEST_F(PerUserE2E, QuietModeTellsTheOutcomeOfTheOtherBitnesssHost) {
    // The 32-bit program hands the 64-bit server to the 64-bit host, and the
    // reverse; the script sees the host's outcome in the exit code.
    const std::pair<std::wstring, const wchar_t*> runs[] = {
        {BothBuilds().program32, L"probe_classes64.dll"},
        {BothBuilds().program64, L"probe_classes.dll"}};
    for (const auto& [program, fixture] : runs) {
        const std::wstring path = FixturePath(fixture);
        SCOPED_TRACE(platform::Narrow(program + L" " + fixture));
        DriveResult r = RunCalvorn(L"-q -r " + Quoted(path), {}, program);
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_TRUE(r.boxes.empty());
        EXPECT_TRUE(InMachineClasses());
        r = RunCalvorn(L"-q -u " + Quoted(path), {}, program);
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_FALSE(InMachineClasses());
    }
    // A file the other host cannot load: the load failure's code, not ours.
    const std::wstring missing = MakeScratchDir(L"e2e-handover") + L"gone.dll";
    EXPECT_EQ(RunCalvorn(L"-q -r " + Quoted(missing), {}, BothBuilds().program64).exitCode, 3u);
}

TEST_F(PerUserE2E, AnExportOfEitherBitnessRunsInItsOwnHostAndWritesNothing) {
    const std::wstring folder = MakeScratchDir(L"e2e-export-both");
    const std::tuple<std::wstring, const wchar_t*, const char*> runs[] = {
        {BothBuilds().program32, L"probe_classes64.dll", "\"machine\":\"x64\""},
        {BothBuilds().program64, L"probe_classes.dll", "\"machine\":\"x86\""}};
    for (const auto& [program, fixture, machine] : runs) {
        const std::wstring path = FixturePath(fixture);
        const std::wstring out = folder + fixture + L".jsonl";
        SCOPED_TRACE(platform::Narrow(program + L" " + fixture));
        DriveResult r = RunCalvorn(L"-q -e " + Quoted(path) + L" -format json -out " + Quoted(out),
                                   {}, program);
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_FALSE(InMachineClasses());
        const std::string json = ReadAll(out);
        EXPECT_NE(json.find(machine), std::string::npos) << json;
        EXPECT_NE(json.find("{7A3C9E51-2B64-4D1F-8E0A-5C6B7D8E9F12}\\\\InprocServer32\","
                            "\"values\":[{\"name\":\"\",\"type\":\"REG_SZ\""),
                  std::string::npos)
            << json;
    }
}
