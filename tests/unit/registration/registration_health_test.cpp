// Which copy of a component the registry knows, over a fake registry: the
// verdict and each entry's fact for a file registered here, to another copy,
// not at all, in part, or only in the other bitness's view; and the entries
// read from a captured registration.

#include "app/quiet_check.h"
#include "inspection/registration_health.h"
#include "registration/captured_health.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <map>
#include <set>

using namespace calvorn::inspection;
using calvorn::registration::CapturedKey;
using calvorn::registration::CapturedRegistration;
using calvorn::registration::CapturedRoot;
using calvorn::registration::CapturedType;
using calvorn::registration::ExpectedFromCapture;

namespace {

const std::wstring kFile = LR"(C:\App\Twin.dll)";
const std::wstring kClsid = L"{11111111-1111-1111-1111-111111111111}";
const std::wstring kLib = L"{22222222-2222-2222-2222-222222222222}";
const std::wstring kIid = L"{33333333-3333-3333-3333-333333333333}";

std::wstring Folded(std::wstring text) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

class FakeState final : public IRegistrationState {
  public:
    // Sets the default value of a key (and makes the key).
    FakeState& Set(ClassesPlace place, const std::wstring& key, const std::wstring& value) {
        values_[{place, Folded(key)}] = value;
        return *this;
    }
    FakeState& Key(ClassesPlace place, const std::wstring& key) {
        keys_.insert({place, Folded(key)});
        return *this;
    }
    bool HasKey(ClassesPlace place, const std::wstring& key) const override {
        const auto folded = Folded(key);
        if (keys_.count({place, folded}))
            return true;
        for (const auto& [at, value] : values_)
            if (at.first == place &&
                (at.second == folded || at.second.rfind(folded + L"\\", 0) == 0))
                return true;
        return false;
    }
    std::optional<std::wstring> Value(ClassesPlace place, const std::wstring& key,
                                      const std::wstring&) const override {
        const auto found = values_.find({place, Folded(key)});
        return found == values_.end() ? std::nullopt : std::optional(found->second);
    }
    std::wstring Resolved(const std::wstring& path) const override {
        // A short name and an environment variable, as the platform resolves them.
        if (path == LR"(C:\App\TWIN~1.DLL)")
            return kFile;
        if (path.rfind(L"%APPDIR%", 0) == 0)
            return LR"(C:\App)" + path.substr(8);
        return path;
    }
    bool FileExists(const std::wstring& path) const override { return versions.count(path) > 0; }
    std::wstring FileVersion(const std::wstring& path) const override {
        return versions.count(path) ? versions.at(path) : L"";
    }

    std::map<std::wstring, std::wstring> versions{{kFile, L"2.1.7.9"}};

  private:
    std::map<std::pair<ClassesPlace, std::wstring>, std::wstring> values_;
    std::set<std::pair<ClassesPlace, std::wstring>> keys_;
};

ExpectedRegistration Expected() {
    ExpectedRegistration expected;
    expected.file = kFile;
    expected.entries = {
        {EntryKind::Class, kClsid, L"TwinThing", L"InprocServer32", {}},
        {EntryKind::TypeLib, kLib, L"TwinLib", L"2.1\\0\\win32", {}},
    };
    return expected;
}

const ClassesPlace kOwn = ClassesPlace::OwnView;
const std::wstring kServer = L"CLSID\\" + kClsid + L"\\InprocServer32";
const std::wstring kLibPath = L"TypeLib\\" + kLib + L"\\2.1\\0\\win32";

} // namespace

TEST(RegistrationHealth, VerdictOfEachWayTheRegistryCanHoldAFile) {
    struct Case {
        const char* what;
        FakeState state;
        Verdict verdict;
        std::wstring text;
        std::wstring classFact;
    };
    FakeState elsewhere;
    elsewhere.Set(kOwn, kServer, LR"(C:\Old\Twin.dll)").Set(kOwn, kLibPath, kFile);
    elsewhere.versions[LR"(C:\Old\Twin.dll)"] = L"1.0.0.0";
    const Case cases[] = {
        // Case, short form, environment variables, "\\?\" and a resource
        // number all name this file.
        {"here",
         FakeState()
             .Set(kOwn, kServer, LR"(\\?\c:\app\TWIN.DLL)")
             .Set(kOwn, kLibPath, LR"(%APPDIR%\Twin.dll\2)"),
         Verdict::Here, L"Registered here", L"Registered here"},
        {"short name",
         FakeState().Set(kOwn, kServer, LR"("C:\App\TWIN~1.DLL")").Set(kOwn, kLibPath, kFile),
         Verdict::Here, L"Registered here", L"Registered here"},
        {"another copy", elsewhere, Verdict::Elsewhere,
         LR"(Registered to another copy: C:\Old\Twin.dll (1.0.0.0))",
         LR"(Registered to another file: C:\Old\Twin.dll (1.0.0.0))"},
        {"a copy that is gone", FakeState().Set(kOwn, kServer, LR"(D:\Gone\Twin.dll)"),
         Verdict::Elsewhere, LR"(Registered to another copy: D:\Gone\Twin.dll (file not found))",
         LR"(Registered to another file: D:\Gone\Twin.dll (file not found))"},
        {"missing", FakeState(), Verdict::NotRegistered, L"Not registered", L"Not registered"},
        {"class key without its server",
         FakeState().Key(kOwn, L"CLSID\\" + kClsid).Set(kOwn, kLibPath, kFile), Verdict::Partly,
         L"Partly registered", L"Partly registered, missing " + kServer},
        {"library missing", FakeState().Set(kOwn, kServer, kFile), Verdict::Partly,
         L"Partly registered", L"Registered here"},
        {"other view only", FakeState().Set(ClassesPlace::OtherView, kServer, kFile),
         Verdict::NotRegistered, L"Not registered",
         L"Not registered (only in the other bitness's view)"},
        // The library's version key holds a 64-bit build's registration only:
        // this 32-bit library is not registered, not partly.
        {"another platform's library",
         FakeState().Set(kOwn, L"TypeLib\\" + kLib + L"\\2.1\\0\\win64", LR"(C:\App64\Twin.dll)"),
         Verdict::NotRegistered, L"Not registered", L"Not registered"},
        // The user's classes win over the machine's, as the merged root shows them.
        {"this user",
         FakeState()
             .Set(ClassesPlace::User, kServer, kFile)
             .Set(kOwn, kServer, LR"(D:\Gone\Twin.dll)")
             .Set(ClassesPlace::User, kLibPath, kFile),
         Verdict::Here, L"Registered here", L"Registered here (this user)"},
    };
    for (const Case& c : cases) {
        const RegistrationHealth health = CheckRegistration(Expected(), c.state);
        EXPECT_EQ(health.verdict, c.verdict) << c.what;
        EXPECT_EQ(VerdictText(health), c.text) << c.what;
        ASSERT_EQ(health.entries.size(), 2u) << c.what;
        EXPECT_EQ(EntryFact(health.entries[0]), c.classFact) << c.what;
    }
    EXPECT_EQ(VerdictText(CheckRegistration(ExpectedRegistration{}, FakeState())),
              L"Registers nothing");
}

TEST(RegistrationHealth, ProgIdsAndInterfacesFollowWhatTheyName) {
    ExpectedRegistration expected;
    expected.file = kFile;
    expected.entries = {
        {EntryKind::ProgId, L"Calvorn.Twin", L"", kClsid, {L"Calvorn.Twin\\CurVer"}},
        {EntryKind::Interface, kIid, L"ITwin", kLib, {}}};
    const std::wstring other = L"{44444444-4444-4444-4444-444444444444}";
    FakeState state;
    // The ProgID names another class, served by another copy; the interface
    // is described by another library.
    state.Set(kOwn, L"Calvorn.Twin\\CLSID", other)
        .Set(kOwn, L"CLSID\\" + other + L"\\InprocServer32", LR"(C:\Old\Twin.dll)")
        .Set(kOwn, L"Interface\\" + kIid + L"\\TypeLib", other);
    RegistrationHealth health = CheckRegistration(expected, state);
    EXPECT_EQ(health.verdict, Verdict::Elsewhere);
    EXPECT_EQ(health.otherPath, LR"(C:\Old\Twin.dll)");
    EXPECT_EQ(EntryFact(health.entries[1]), L"Registered to " + other);

    // Named rightly, but a key of the ProgID's is missing.
    FakeState partly;
    partly.Set(kOwn, L"Calvorn.Twin\\CLSID", kClsid)
        .Set(kOwn, L"Interface\\" + kIid + L"\\TypeLib", kLib);
    health = CheckRegistration(expected, partly);
    EXPECT_EQ(health.verdict, Verdict::Partly);
    EXPECT_EQ(health.entries[0].missingKeys, std::vector<std::wstring>{L"Calvorn.Twin\\CurVer"});
    EXPECT_EQ(health.entries[1].state, EntryState::Here);

    // A ProgID is one key for both bitnesses: found through the other view
    // it is registered.
    FakeState shared;
    shared.Set(ClassesPlace::OtherView, L"Calvorn.Twin\\CLSID", kClsid)
        .Set(kOwn, L"Interface\\" + kIid + L"\\TypeLib", kLib);
    health = CheckRegistration(expected, shared);
    EXPECT_EQ(health.entries[0].state, EntryState::Partly); // CurVer still missing
    shared.Key(ClassesPlace::OtherView, L"Calvorn.Twin\\CurVer");
    EXPECT_EQ(CheckRegistration(expected, shared).verdict, Verdict::Here);

    // An interface written without a library (proxy/stub only) is its key.
    expected.entries = {{EntryKind::Interface, kIid, L"ITwin", L"", {}}};
    FakeState proxyOnly;
    proxyOnly.Set(kOwn, L"Interface\\" + kIid + L"\\ProxyStubClsid32", kClsid);
    EXPECT_EQ(CheckRegistration(expected, proxyOnly).verdict, Verdict::Here);
    EXPECT_EQ(CheckRegistration(expected, FakeState()).verdict, Verdict::NotRegistered);
}

TEST(ServerFileOf, QuotesAndArgumentsOfAServerLine) {
    const struct {
        const wchar_t* line;
        bool commandLine;
        const wchar_t* file;
    } cases[] = {
        {LR"(C:\Program Files\App\a.dll)", false, LR"(C:\Program Files\App\a.dll)"},
        {LR"( "C:\Program Files\App\a.dll" )", false, LR"(C:\Program Files\App\a.dll)"},
        {LR"("C:\Program Files\App\srv.exe" /automation)", true,
         LR"(C:\Program Files\App\srv.exe)"},
        {LR"(C:\Program Files\App\srv.EXE -Embedding)", true, LR"(C:\Program Files\App\srv.EXE)"},
        {LR"(C:\App\srv /automation)", true, LR"(C:\App\srv)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ServerFileOf(c.line, c.commandLine), c.file) << c.line;
    EXPECT_TRUE(SamePath(LR"(\\?\UNC\srv\share\a.dll)", LR"(//SRV/share/A.DLL)"));
}

TEST(ExpectedFromCapture, EveryClassProgIdLibraryAndInterfaceWithItsKeys) {
    auto text = [](const std::wstring& s) {
        std::vector<std::uint8_t> bytes;
        for (wchar_t c : s + L'\0') {
            bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        return bytes;
    };
    auto key = [&](CapturedRoot root, std::wstring path, std::wstring value = L"-") {
        CapturedKey k{root, std::move(path), {}};
        if (value != L"-")
            k.values.push_back({L"", CapturedType::String, text(value)});
        return k;
    };
    const CapturedRoot hkcr = CapturedRoot::ClassesRoot;
    const CapturedRoot hklm = CapturedRoot::LocalMachine;
    CapturedRegistration captured;
    captured.file = kFile;
    captured.keys = {
        key(hkcr, L"CLSID"),
        key(hkcr, L"CLSID\\" + kClsid, L"Twin thing"),
        key(hkcr, L"CLSID\\" + kClsid + L"\\LocalServer32", kFile),
        key(hkcr, L"CLSID\\" + kClsid + L"\\ProgID", L"Calvorn.Twin"),
        // Named by the time it was written: another name at each registration.
        key(hkcr, L"CLSID\\" + kClsid + L"\\Registered 01dc6b2e5f3a1c00"),
        key(hklm, L"Software\\Classes\\Calvorn.Twin\\CLSID", kClsid),
        key(hkcr, L"TypeLib\\" + kLib + L"\\2.1", L"TwinLib"),
        key(hkcr, L"TypeLib\\" + kLib + L"\\2.1\\0\\win32", kFile),
        key(hkcr, L"TypeLib\\" + kLib + L"\\2.1\\FLAGS", L"0"),
        key(hkcr, L"Interface\\" + kIid, L"ITwin"),
        key(hkcr, L"Interface\\" + kIid + L"\\TypeLib", kLib),
        // A component's own settings are not its registration.
        key(hklm, L"Software\\Vendor\\Twin\\CLSID", kClsid),
    };
    const ExpectedRegistration expected = ExpectedFromCapture(captured);
    EXPECT_EQ(expected.source, EntrySource::RegistrationCode);
    ASSERT_EQ(expected.entries.size(), 4u);
    const ExpectedEntry& cls = expected.entries[0];
    EXPECT_EQ(cls.kind, EntryKind::Class);
    EXPECT_EQ(cls.name, L"Twin thing");
    EXPECT_EQ(cls.target, L"LocalServer32");
    // Only the keys that identify a registration are held against the machine.
    EXPECT_TRUE(cls.keys.empty());
    EXPECT_EQ(expected.entries[1].kind, EntryKind::ProgId);
    EXPECT_EQ(expected.entries[1].id, L"Calvorn.Twin");
    EXPECT_EQ(expected.entries[1].target, kClsid);
    EXPECT_EQ(expected.entries[2].kind, EntryKind::TypeLib);
    EXPECT_EQ(expected.entries[2].target, L"2.1\\0\\win32");
    EXPECT_TRUE(expected.entries[2].keys.empty());
    EXPECT_EQ(expected.entries[3].kind, EntryKind::Interface);
    EXPECT_EQ(expected.entries[3].target, kLib);

    // What the capture says is what the machine is held against.
    FakeState state;
    // The machine holds an earlier registration: another time-stamped key,
    // no FLAGS. Registered all the same.
    state.Set(kOwn, L"CLSID\\" + kClsid + L"\\LocalServer32", L"\"" + kFile + L"\" /automation")
        .Key(kOwn, L"CLSID\\" + kClsid + L"\\Registered 01dc6b2d00000000")
        .Set(kOwn, L"Calvorn.Twin\\CLSID", kClsid)
        .Set(kOwn, L"TypeLib\\" + kLib + L"\\2.1\\0\\win32", kFile)
        .Set(kOwn, L"Interface\\" + kIid + L"\\TypeLib", kLib);
    EXPECT_EQ(CheckRegistration(expected, state).verdict, Verdict::Here);

    // A class served both ways needs both of its servers.
    captured.keys.push_back(key(hkcr, L"CLSID\\" + kClsid + L"\\InprocServer32", kFile));
    const ExpectedRegistration both = ExpectedFromCapture(captured);
    EXPECT_EQ(both.entries[0].target, L"InprocServer32");
    EXPECT_EQ(both.entries[0].keys,
              std::vector<std::wstring>{L"CLSID\\" + kClsid + L"\\LocalServer32"});
    state.Set(kOwn, L"CLSID\\" + kClsid + L"\\InprocServer32", kFile);
    EXPECT_EQ(CheckRegistration(both, state).verdict, Verdict::Here);

    // A class without a server of its own (TreatAs) is its key alone.
    const std::wstring treated = L"{55555555-5555-5555-5555-555555555555}";
    captured.keys = {key(hkcr, L"CLSID\\" + treated, L"Alias"),
                     key(hkcr, L"CLSID\\" + treated + L"\\TreatAs", kClsid)};
    const ExpectedRegistration aliased = ExpectedFromCapture(captured);
    ASSERT_EQ(aliased.entries.size(), 1u);
    EXPECT_EQ(aliased.entries[0].target, L"");
    state.Key(kOwn, L"CLSID\\" + treated);
    EXPECT_EQ(CheckRegistration(aliased, state).verdict, Verdict::Here);
}

TEST(CheckRecords, EachFormatCarriesTheVerdictAndEveryEntry) {
    FakeState state;
    state.Set(kOwn, kServer, LR"(C:\Old\Twin.dll)");
    calvorn::app::CheckedFile file;
    file.path = LR"(C:\App\Twin "new".dll)";
    file.health = CheckRegistration(Expected(), state);
    using calvorn::app::ReportFormat;
    EXPECT_EQ(calvorn::app::CheckHeader(ReportFormat::Csv),
              "path,verdict,registration,source,entries,error\r\n");
    EXPECT_EQ(calvorn::app::EncodedCheck(ReportFormat::Csv, file),
              "\"C:\\App\\Twin \"\"new\"\".dll\",registered-elsewhere,"
              "Registered to another copy: C:\\Old\\Twin.dll (file not found),type-library,"
              "Class TwinThing {11111111-1111-1111-1111-111111111111}: Registered to another "
              "file: C:\\Old\\Twin.dll (file not found); Type library "
              "{22222222-2222-2222-2222-222222222222} 2.1: Not registered,\r\n");
    const std::string json = calvorn::app::EncodedCheck(ReportFormat::JsonLines, file);
    EXPECT_EQ(json.rfind("{\"path\":\"C:\\\\App\\\\Twin \\\"new\\\".dll\",\"verdict\":"
                         "\"registered-elsewhere\",",
                         0),
              0u)
        << json;
    EXPECT_NE(json.find("{\"kind\":\"typelib\",\"id\":\"{22222222-2222-2222-2222-222222222222}\","
                        "\"name\":\"TwinLib\",\"state\":\"missing\""),
              std::string::npos)
        << json;
    EXPECT_EQ(json.back(), '\n');
    // A file that could not be checked has its reason and no verdict.
    file.failure = {calvorn::app::ExitCode::NotLoaded, L"gone"};
    EXPECT_EQ(calvorn::app::EncodedCheck(ReportFormat::Text, file),
              "File: C:\\App\\Twin \"new\".dll\r\nError: gone\r\n\r\n");
    EXPECT_EQ(calvorn::app::ExitCodeOf(Verdict::Partly), calvorn::app::ExitCode::PartlyRegistered);

    // A file that registers nothing is not registered, in words a script reads.
    calvorn::app::CheckedFile nothing;
    nothing.path = LR"(C:\App\plain.dll)";
    EXPECT_EQ(calvorn::app::ExitCodeOf(nothing.health.verdict),
              calvorn::app::ExitCode::NotRegistered);
    EXPECT_EQ(calvorn::app::EncodedCheck(ReportFormat::Csv, nothing),
              "C:\\App\\plain.dll,not-registered,\"Not registered: the file registers nothing "
              "(no registration code, no type library)\",type-library,,\r\n");
}
