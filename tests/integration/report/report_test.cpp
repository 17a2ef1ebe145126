// The component report and the comparison on the fixture libraries, with
// the registry states built here under HKEY_CLASSES_ROOT\TypeLib.

#include "app/report_inventory.h"
#include "inspection/component_inspector.h"
#include "inspection/typelib_info.h"
#include "platform/error_record.h"
#include "platform/text.h"
#include "support/fake_message_box.h"
#include "support/test_paths.h"
#include "support/typelib_keys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <new>
#include <stdexcept>
#include <vector>

using namespace calvorn;
using namespace calvorn::test;
using inspection::ComponentInspector;
using inspection::TypeLibInfo;

namespace {

struct Row {
    std::wstring label;
    std::wstring value;
    bool heading = false;
    bool operator==(const Row&) const = default;
};

struct ComparedRow {
    std::wstring label;
    std::wstring first;
    std::wstring second;
    bool differs = false;
};

class RecordingPresenter final : public inspection::IReportPresenter {
  public:
    void Clear() override {
        rows.clear();
        compared.clear();
        message.clear();
    }
    void AddComparedRow(const std::wstring& c, const std::wstring& a, const std::wstring& b,
                        bool differs) override {
        compared.push_back({c, a, b, differs});
    }
    // The compared row of a label; a row labelled "<none>" when there is none.
    ComparedRow Compared(const std::wstring& label) const {
        for (const ComparedRow& row : compared)
            if (row.label == label)
                return row;
        return {L"<none>", L"", L"", false};
    }
    std::vector<std::wstring> Differing() const {
        std::vector<std::wstring> labels;
        for (const ComparedRow& row : compared)
            if (row.differs)
                labels.push_back(row.label);
        return labels;
    }
    void AddRow(const std::wstring& c, const std::wstring& t, bool h) override {
        rows.push_back({c, t, h});
    }
    void ShowMsg(const std::wstring& m) override {
        Clear();
        message = m;
    }
    std::vector<std::wstring> Headings() const {
        std::vector<std::wstring> h;
        for (const Row& r : rows)
            if (r.heading)
                h.push_back(r.label);
        return h;
    }
    // The rows before the "File Info" heading.
    std::vector<Row> TypeLibRows() const {
        std::vector<Row> out;
        for (const Row& r : rows) {
            if (r.heading && r.label == L"File Info")
                break;
            out.push_back(r);
        }
        return out;
    }
    // The rows from the "Registration" heading on.
    std::vector<Row> RegistrationRows() const {
        auto at = std::find(rows.begin(), rows.end(), Row{L"Registration", L"", true});
        return {at, rows.end()};
    }
    std::vector<Row> rows;
    std::vector<ComparedRow> compared;
    std::wstring message;
};

const std::wstring kAlphaName = L"CalvornAlpha (Calvorn fixture library Alpha)";

std::vector<Row> AlphaHead(const std::wstring& registered) {
    return {{L"TypeLib Info", L"", true},
            {L"TypeLib Name:", kAlphaName, false},
            {L"GUID:", kAlphaGuid, false},
            {L"Version:", L"1.0", false},
            {L"Registered", registered, false}};
}

std::vector<Row> operator+(std::vector<Row> a, const std::vector<Row>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class Report : public ::testing::Test {
  protected:
    Report() { inspector.Init(info, comparison); }
    std::vector<Row> ReportOf(const std::wstring& fixture) {
        inspector.FileName(fixture.empty() ? L"" : FixturePath(fixture));
        inspector.DisplayInfo();
        return info.TypeLibRows();
    }
    FakeMessageBox box;
    RecordingPresenter info;
    RecordingPresenter comparison;
    ComponentInspector inspector{box, {}, app::ReadComparedFile};
};

const wchar_t* const kFileLabels[] = {L"File Info",           L"CompanyName: ",
                                      L"FileDescription: ",   L"InternalName: ",
                                      L"LegalCopyright: ",    L"LegalTrademarks: ",
                                      L"OriginalFileName: ",  L"ProductName: ",
                                      L"ProductVersion: ",    L"Comments: ",
                                      L"Extended File Info",  L"Type: ",
                                      L"SubType: ",           L"Version: ",
                                      L"Product Version: ",   L"OS: ",
                                      L"Structure Version: ", L"Flags: "};
// After the file information, what the headers tell (a DLL that needs
// nothing missing).
const wchar_t* const kModuleLabels[] = {L"Module", L"Machine: ", L"Kind: ", L"Entry Points: ",
                                        L"Missing DLLs: "};

} // namespace

TEST(TypeLibInfo, ReadsIdentityNameAndHelpAndMissesQuietly) {
    auto ten = TypeLibInfo::Open(FixturePath(L"tl_ten.dll"));
    ASSERT_TRUE(ten.has_value());
    EXPECT_EQ(ten->Guid(), kTenGuid);
    EXPECT_EQ(ten->MajorVersion(), 1);
    EXPECT_EQ(ten->MinorVersion(), 10);
    EXPECT_EQ(ten->Name(), L"CalvornTen");
    EXPECT_EQ(ten->HelpString(), L"Calvorn fixture library Ten");
    EXPECT_EQ(inspection::VersionKeyName(1, 10), L"1.a");
    EXPECT_EQ(inspection::VersionKeyName(0x2b, 0xff), L"2b.ff");
    EXPECT_EQ(inspection::VersionText(1, 10), L"1.10");

    auto noHelp = TypeLibInfo::Open(FixturePath(L"tl_nohelp.dll"));
    ASSERT_TRUE(noHelp.has_value());
    EXPECT_EQ(noHelp->HelpString(), L"");

    EXPECT_FALSE(TypeLibInfo::Open(FixturePath(L"tl_none.dll")).has_value());
    EXPECT_FALSE(TypeLibInfo::Open(FixturePath(L"missing.dll")).has_value());
    EXPECT_FALSE(TypeLibInfo::Open(L"").has_value());

    auto alpha = TypeLibInfo::Open(FixturePath(L"tl_alpha.dll"));
    auto alphaAgain = TypeLibInfo::Open(FixturePath(L"tl_alpha.dll"));
    auto alpha2 = TypeLibInfo::Open(FixturePath(L"tl_alpha2.dll"));
    ASSERT_TRUE(alpha && alphaAgain && alpha2);
    EXPECT_TRUE(alpha->IsSameLibrary(*alphaAgain));
    EXPECT_FALSE(alpha->IsSameLibrary(*alpha2)); // same GUID, other version
    EXPECT_FALSE(alpha->IsSameLibrary(*ten));
}

TEST_F(Report, UnregisteredLibraryHasNoOtherVersionsSection) {
    ScopedTypeLibKeys keys(kAlphaGuid);
    EXPECT_EQ(ReportOf(L"tl_alpha.dll"), AlphaHead(L"No"));
    EXPECT_EQ(info.Headings(),
              (std::vector<std::wstring>{L"TypeLib Info", L"File Info", L"Extended File Info",
                                         L"Module", L"Registration"}));
    std::vector<std::wstring> labels;
    for (size_t i = 5; i < info.rows.size() && info.rows[i].label != L"Registration"; ++i)
        labels.push_back(info.rows[i].label);
    std::vector<std::wstring> expected(std::begin(kFileLabels), std::end(kFileLabels));
    expected.insert(expected.end(), std::begin(kModuleLabels), std::end(kModuleLabels));
    EXPECT_EQ(labels, expected);
    // Last, what the machine holds for what the library registers.
    EXPECT_EQ(info.RegistrationRows(),
              (std::vector<Row>{
                  {L"Registration", L"", true},
                  {L"Verdict:", L"Not registered", false},
                  {L"Checked:",
                   L"From the type library; the component's own registration code "
                   L"was not run.",
                   false},
                  {L"Type library:", std::wstring(kAlphaGuid) + L" 1.0: Not registered", false}}));
    EXPECT_TRUE(box.shown.empty());
}

TEST_F(Report, RegisteredVersionShowsItsPathAndOtherVersionsTheirs) {
    ScopedTypeLibKeys keys(kAlphaGuid);
    ASSERT_TRUE(keys.AddVersion(L"1.0", L"Alpha one", L"C:\\lib\\alpha1.dll"));
    EXPECT_EQ(ReportOf(L"tl_alpha.dll"),
              AlphaHead(L"Yes") + std::vector<Row>({{L"Path: ", L"C:\\lib\\alpha1.dll", false}}));
    const auto registration = info.RegistrationRows();
    ASSERT_EQ(registration.size(), 4u);
    EXPECT_EQ(registration[1].value,
              L"Registered to another copy: C:\\lib\\alpha1.dll (file not found)");
    EXPECT_EQ(registration[3].value,
              std::wstring(kAlphaGuid) +
                  L" 1.0: Registered to another file: C:\\lib\\alpha1.dll (file not found)");

    ASSERT_TRUE(keys.AddVersion(L"2.0", L"Alpha two", L"C:\\lib\\alpha2.dll"));
    EXPECT_EQ(ReportOf(L"tl_alpha.dll"),
              AlphaHead(L"Yes") + std::vector<Row>({{L"Path: ", L"C:\\lib\\alpha1.dll", false},
                                                    {L"Other Versions Found!", L"", true},
                                                    {L"TypeLib Name:", L"Alpha two", false},
                                                    {L"Version:", L"2.0", false},
                                                    {L"Path: ", L"C:\\lib\\alpha2.dll", false}}));
}

TEST_F(Report, UnregisteredVersionListsTheOtherRegisteredVersions) {
    ScopedTypeLibKeys keys(kAlphaGuid);
    // A library key without versions: the section is there, empty.
    ASSERT_TRUE(keys.CreateLibraryKey());
    EXPECT_EQ(ReportOf(L"tl_alpha.dll"),
              AlphaHead(L"No") + std::vector<Row>({{L"Other Versions Found!", L"", true}}));
    ASSERT_TRUE(keys.AddVersion(L"2.0", L"Alpha two", L"C:\\lib\\alpha2.dll"));
    EXPECT_EQ(ReportOf(L"tl_alpha.dll"),
              AlphaHead(L"No") + std::vector<Row>({{L"Other Versions Found!", L"", true},
                                                   {L"TypeLib Name:", L"Alpha two", false},
                                                   {L"Version:", L"2.0", false},
                                                   {L"Path: ", L"C:\\lib\\alpha2.dll", false}}));
    // The headings alternate through the presenter: six of them now.
    EXPECT_EQ(info.Headings().size(), 6u);
}

TEST_F(Report, EachBuildShowsItsOwnPlatformsPathFirstAndNamesTheOther) {
    // The 32-bit build reads "0\win32" first, the 64-bit one "0\win64".
    constexpr bool k64 = sizeof(void*) == 8;
    const std::wstring own = k64 ? L"win64" : L"win32", other = k64 ? L"win32" : L"win64";
    ScopedTypeLibKeys keys(kAlphaGuid);
    ASSERT_TRUE(keys.AddVersion(L"1.0", L"Alpha one"));
    EXPECT_EQ(ReportOf(L"tl_alpha.dll"),
              AlphaHead(L"Yes") + std::vector<Row>({{L"Path: ", L"", false}}));

    ASSERT_TRUE(keys.AddVersion(L"1.0", L"Alpha one", L"C:\\other\\alpha1.dll", other));
    EXPECT_EQ(
        ReportOf(L"tl_alpha.dll"),
        AlphaHead(L"Yes") +
            std::vector<Row>({{L"Path: ", L"C:\\other\\alpha1.dll (" + other + L")", false}}));

    ASSERT_TRUE(keys.AddVersion(L"1.0", L"Alpha one", L"C:\\own\\alpha1.dll", own));
    EXPECT_EQ(ReportOf(L"tl_alpha.dll"),
              AlphaHead(L"Yes") + std::vector<Row>({{L"Path: ", L"C:\\own\\alpha1.dll", false}}));
    inspector.FirstFilename(FixturePath(L"tl_alpha.dll"));
    inspector.SecondFilename(FixturePath(L"tl_alpha.dll"));
    inspector.DoComparison();
    int paths = 0;
    for (const Row& row : comparison.rows)
        if (row.label == L"Registered Path:") {
            EXPECT_EQ(row.value, L"C:\\own\\alpha1.dll");
            ++paths;
        }
    EXPECT_EQ(paths, 2);

    // An entry of our own platform without a path is what is registered:
    // the other platform's path does not stand in for it.
    ScopedTypeLibKeys ten(kTenGuid);
    ASSERT_TRUE(ten.AddVersion(L"1.a", L"Ten", L"C:\\other\\ten.dll", other));
    ASSERT_TRUE(ten.AddVersion(L"1.a\\0\\" + own, L""));
    std::vector<Row> rows = ReportOf(L"tl_ten.dll");
    ASSERT_GE(rows.size(), 6u);
    EXPECT_EQ(rows[5], (Row{L"Path: ", L"", false}));
}

TEST_F(Report, ARegistrationForThisUserSaysSo) {
    ScopedTypeLibKeys machine(kAlphaGuid);
    ScopedTypeLibKeys user(kAlphaGuid, HKEY_CURRENT_USER, L"Software\\Classes\\");
    ASSERT_TRUE(user.AddVersion(L"1.0", L"Alpha one", L"C:\\mine\\alpha1.dll"));
    std::vector<Row> rows = ReportOf(L"tl_alpha.dll");
    ASSERT_GE(rows.size(), 7u);
    EXPECT_EQ(rows[4], (Row{L"Registered", L"Yes", false}));
    EXPECT_EQ(rows[5], (Row{L"Path: ", L"C:\\mine\\alpha1.dll", false}));
    EXPECT_EQ(rows[6], (Row{L"Registered For: ",
                            L"This user only (HKEY_CURRENT_USER\\Software\\Classes)", false}));
    // Registered for the machine as well.
    ScopedTypeLibKeys all(kAlphaGuid, HKEY_LOCAL_MACHINE, L"Software\\Classes\\");
    ASSERT_TRUE(all.AddVersion(L"1.0", L"Alpha one", L"C:\\lib\\alpha1.dll"));
    rows = ReportOf(L"tl_alpha.dll");
    ASSERT_GE(rows.size(), 7u);
    EXPECT_EQ(rows[6].value, L"This user (HKEY_CURRENT_USER\\Software\\Classes) and all users");
}

TEST_F(Report, MinorVersionTenIsLookedUpInHexAndShownInDecimal) {
    ScopedTypeLibKeys keys(kTenGuid);
    // A decimal key name is not this version's registration.
    ASSERT_TRUE(keys.AddVersion(L"1.10", L"decimal", L"C:\\wrong.dll"));
    std::vector<Row> rows = ReportOf(L"tl_ten.dll");
    ASSERT_GE(rows.size(), 5u);
    EXPECT_EQ(rows[3], (Row{L"Version:", L"1.10", false}));
    EXPECT_EQ(rows[4], (Row{L"Registered", L"No", false}));

    ASSERT_TRUE(keys.AddVersion(L"1.a", L"Ten", L"C:\\ten.dll"));
    rows = ReportOf(L"tl_ten.dll");
    ASSERT_GE(rows.size(), 6u);
    EXPECT_EQ(rows[4], (Row{L"Registered", L"Yes", false}));
    EXPECT_EQ(rows[5], (Row{L"Path: ", L"C:\\ten.dll", false}));
    // Other versions read as this one does: in decimal (key "1.10" is 1.16).
    ASSERT_TRUE(keys.AddVersion(L"2.1f", L"Ten two", L"C:\\ten2.dll"));
    rows = ReportOf(L"tl_ten.dll");
    std::vector<std::wstring> others;
    for (size_t i = 6; i < rows.size(); ++i)
        if (rows[i].label == L"Version:")
            others.push_back(rows[i].value);
    std::sort(others.begin(), others.end());
    EXPECT_EQ(others, (std::vector<std::wstring>{L"1.16", L"2.31"}));
}

TEST_F(Report, LibraryWithoutHelpStringShowsEmptyParentheses) {
    ScopedTypeLibKeys keys(kNoHelpGuid);
    std::vector<Row> rows = ReportOf(L"tl_nohelp.dll");
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows[1], (Row{L"TypeLib Name:", L"CalvornNoHelp ()", false}));
}

TEST_F(Report, FilesWithoutATypeLibraryStartWithFileInfo) {
    ReportOf(L"tl_none.dll");
    ASSERT_EQ(info.rows.size(), std::size(kFileLabels) + std::size(kModuleLabels));
    for (size_t i = 0; i < std::size(kFileLabels); ++i)
        EXPECT_EQ(info.rows[i].label, kFileLabels[i]);
    EXPECT_TRUE(info.rows[0].heading);
    EXPECT_TRUE(info.rows[10].heading);
    EXPECT_TRUE(box.shown.empty());
}

TEST_F(Report, MissingFilesAndFilesWithoutVersionsSaySoInsteadOfBlanks) {
    ReportOf(L"missing.dll");
    EXPECT_TRUE(info.rows.empty());
    EXPECT_EQ(info.message, L"The file \"" + FixturePath(L"missing.dll") + L"\" does not exist.");
    ReportOf(L"versions");
    EXPECT_EQ(info.message,
              L"\"" + FixturePath(L"versions") + L"\" is a folder, not a component file.");
    // No name: no report at all, not a skeleton of empty rows.
    ReportOf(L"");
    EXPECT_TRUE(info.rows.empty());
    EXPECT_TRUE(info.message.empty());

    // A file without a version resource keeps its type library section.
    ReportOf(L"probe_good.dll");
    ASSERT_FALSE(info.rows.empty());
    EXPECT_EQ(info.rows.front(), (Row{L"TypeLib Info", L"", true}));
    const auto noVersion = std::find(info.rows.begin(), info.rows.end(),
                                     Row{L"This file has no version information.", L"", false});
    ASSERT_NE(noVersion, info.rows.end());
    ASSERT_NE(noVersion + 1, info.rows.end());
    // Straight under its heading, and the module facts follow.
    EXPECT_EQ(*(noVersion - 1), (Row{L"File Info", L"", true}));
    EXPECT_EQ((noVersion + 1)->label, L"Module");
    EXPECT_TRUE(box.shown.empty());
}

// The report's grid failing at one row: the section it was in ends there
// and says why in an error row; the sections after it still follow.
class FailingPresenter final : public inspection::IReportPresenter {
  public:
    void Clear() override { rows.Clear(); }
    void AddRow(const std::wstring& c, const std::wstring& t, bool h) override {
        if (c == failAt) {
            failAt.clear(); // once
            fail();
        }
        rows.AddRow(c, t, h);
    }
    void ShowMsg(const std::wstring& m) override { rows.ShowMsg(m); }
    void AddComparedRow(const std::wstring&, const std::wstring&, const std::wstring&,
                        bool) override {}
    std::wstring failAt;
    std::function<void()> fail;
    RecordingPresenter rows;
};

TEST(ReportSections, AFailingSectionIsAnErrorRowNotAMissingSection) {
    FakeMessageBox box;
    FailingPresenter info;
    RecordingPresenter comparison;
    ComponentInspector inspector{box, {}, app::ReadComparedFile};
    inspector.Init(info, comparison);
    inspector.FileName(FixturePath(L"tl_alpha.dll"));
    struct Case {
        const wchar_t* failAt;
        std::function<void()> fail;
        std::wstring errorRow;
        const wchar_t* nextHeading;
    };
    const Case cases[] = {
        {L"GUID:",
         [] {
             throw platform::Failure({5, L"", L"Access is denied."});
         },
         L"TypeLib Info: error 5: Access is denied.", L"File Info"},
        // A programming error is seen, with its own words.
        {L"File Info", [] { throw std::out_of_range("bad index"); }, L"File Info: error 1359",
         L"Module"},
        {L"Machine: ", [] { throw std::bad_alloc(); }, L"Module: error 8", L"Registration"},
        {L"Verdict:", [] { throw 7; }, L"Registration: error 1359", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::Narrow(c.failAt));
        info.failAt = c.failAt;
        info.fail = c.fail;
        inspector.DisplayInfo();
        const std::vector<Row>& rows = info.rows.rows;
        const auto error = std::find_if(rows.begin(), rows.end(),
                                        [](const Row& r) { return r.label == L"Error:"; });
        ASSERT_NE(error, rows.end());
        EXPECT_EQ(error->value.rfind(c.errorRow, 0), 0u) << platform::Narrow(error->value);
        EXPECT_EQ(std::count_if(rows.begin(), rows.end(),
                                [](const Row& r) { return r.label == L"Error:"; }),
                  1);
        if (c.nextHeading) {
            EXPECT_NE(std::find_if(error, rows.end(),
                                   [&](const Row& r) { return r.label == c.nextHeading; }),
                      rows.end());
        }
    }
    // When the error row itself cannot be written, the user hears of it in a box.
    info.failAt = L"GUID:";
    info.fail = [&info] {
        info.failAt = L"Error:";
        throw platform::Failure({5, L"", L"Access is denied."});
    };
    inspector.DisplayInfo();
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].text, L"Display - ComponentInspector: error 5: Access is denied.");
}

TEST_F(Report, SecondReportReplacesTheFirst) {
    ScopedTypeLibKeys keys(kAlphaGuid);
    ReportOf(L"tl_alpha.dll");
    std::vector<Row> once = info.rows;
    ReportOf(L"tl_alpha.dll");
    EXPECT_EQ(info.rows, once);
}

class Comparison : public Report {
  protected:
    void Compare(const std::wstring& first, const std::wstring& second) {
        inspector.FirstFilename(first.empty() ? L"" : FixturePath(first));
        inspector.SecondFilename(second.empty() ? L"" : FixturePath(second));
        inspector.DoComparison();
    }
};

TEST_F(Comparison, SameFileTwiceIsIdenticalWithTwoEqualSummaries) {
    ScopedTypeLibKeys keys(kAlphaGuid);
    ASSERT_TRUE(keys.AddVersion(L"1.0", L"Alpha one", L"C:\\lib\\alpha1.dll"));
    Compare(L"tl_alpha.dll", L"tl_alpha.dll");
    std::vector<Row> summary = {{L"TypeLib Name:", kAlphaName, false},
                                {L"GUID:", kAlphaGuid, false},
                                {L"Version:", L"1.0", false},
                                {L"Target Platform:", L"win32", false},
                                {L"Registered", L"Yes", false},
                                {L"Registered Path:", L"C:\\lib\\alpha1.dll", false}};
    const std::wstring path = FixturePath(L"tl_alpha.dll");
    EXPECT_EQ(comparison.rows, std::vector<Row>({{L"Comparison Result", L"", true},
                                                 {L"These files are Identical.", L"", false},
                                                 {L"First File TypeLib Info", path, true}}) +
                                   summary +
                                   std::vector<Row>({{L"Second File TypeLib Info", path, true}}) +
                                   summary + std::vector<Row>({{L"File Comparison", L"", true}}));
    // The files side by side, nothing marked: one file's facts twice.
    EXPECT_TRUE(comparison.Differing().empty());
    ASSERT_GE(comparison.compared.size(), 17u);
    EXPECT_EQ(comparison.compared[0].label, L"File:");
    EXPECT_EQ(comparison.Compared(L"Machine:").first, L"x86");
    EXPECT_EQ(comparison.Compared(L"SHA-256:").first.size(), 64u);
    EXPECT_EQ(comparison.Compared(L"Signature:").first, L"unsigned");
    EXPECT_EQ(comparison.Compared(L"TypeLib GUID:").second, kAlphaGuid);
    EXPECT_TRUE(box.shown.empty());
}

// Two builds of one library (the same type library, other bytes and another
// version) are told apart, and the rows that differ are marked; a copy of a
// file elsewhere is identical.
TEST_F(Comparison, TwoBuildsOfOneLibraryAreDifferentAndTheirDifferencesMarked) {
    ScopedTypeLibKeys keys(kAlphaGuid);
    Compare(L"tl_alpha.dll", L"tl_alpha_v9.dll");
    ASSERT_GE(comparison.rows.size(), 2u);
    EXPECT_EQ(comparison.rows[1].label, L"The Files Are Diferent!");
    const std::vector<std::wstring> differing = comparison.Differing();
    for (const wchar_t* label : {L"FileVersion:", L"Version:", L"SHA-256:"})
        EXPECT_NE(std::find(differing.begin(), differing.end(), label), differing.end()) << label;
    for (const wchar_t* label : {L"File:", L"TypeLib GUID:", L"TypeLib Version:", L"Machine:"})
        EXPECT_EQ(std::find(differing.begin(), differing.end(), label), differing.end()) << label;
    EXPECT_EQ(comparison.Compared(L"FileVersion:").second, L"9.9.9.9");
    EXPECT_EQ(comparison.Compared(L"TypeLib GUID:").first, kAlphaGuid);
    EXPECT_EQ(comparison.Compared(L"TypeLib GUID:").second, kAlphaGuid);

    const std::wstring copy = MakeScratchDir(L"comparison-copy") + L"alpha.dll";
    ASSERT_TRUE(::CopyFileW(FixturePath(L"tl_alpha.dll").c_str(), copy.c_str(), FALSE));
    inspector.FirstFilename(FixturePath(L"tl_alpha.dll"));
    inspector.SecondFilename(copy);
    inspector.DoComparison();
    ASSERT_GE(comparison.rows.size(), 2u);
    EXPECT_EQ(comparison.rows[1].label, L"These files are Identical.");
    EXPECT_TRUE(comparison.Differing().empty());
    EXPECT_EQ(comparison.Compared(L"File:").second, copy);
    EXPECT_TRUE(box.shown.empty());
}

// A file that cannot be read is named with the reason, and nothing is
// compared.
TEST_F(Comparison, AFileThatCannotBeReadIsNamedWithItsReason) {
    const std::wstring locked = MakeScratchDir(L"comparison-locked") + L"locked.dll";
    ASSERT_TRUE(::CopyFileW(FixturePath(L"tl_alpha.dll").c_str(), locked.c_str(), FALSE));
    HANDLE hold =
        ::CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    inspector.FirstFilename(FixturePath(L"tl_alpha.dll"));
    inspector.SecondFilename(locked);
    inspector.DoComparison();
    ::CloseHandle(hold);
    EXPECT_TRUE(comparison.rows.empty());
    EXPECT_EQ(comparison.message.rfind(L"The file \"" + locked + L"\" cannot be read: ", 0), 0u)
        << platform::Narrow(comparison.message);
    EXPECT_TRUE(box.shown.empty());
}

TEST_F(Comparison, OtherVersionIsDifferentAndUnregisteredHasNoPathRow) {
    ScopedTypeLibKeys alpha(kAlphaGuid);
    ScopedTypeLibKeys ten(kTenGuid);
    ASSERT_TRUE(ten.AddVersion(L"1.a", L"Ten", L"C:\\ten.dll"));
    Compare(L"tl_alpha.dll", L"tl_ten.dll");
    ASSERT_EQ(comparison.rows.size(), 16u);
    EXPECT_EQ(comparison.rows[1].label, L"The Files Are Diferent!");
    EXPECT_EQ(comparison.rows[7], (Row{L"Registered", L"No", false}));
    EXPECT_EQ(comparison.rows[8],
              (Row{L"Second File TypeLib Info", FixturePath(L"tl_ten.dll"), true}));
    EXPECT_EQ(comparison.rows[11], (Row{L"Version:", L"1.10", false}));
    EXPECT_EQ(comparison.rows[14], (Row{L"Registered Path:", L"C:\\ten.dll", false}));

    Compare(L"tl_alpha.dll", L"tl_alpha2.dll");
    ASSERT_GE(comparison.rows.size(), 2u);
    EXPECT_EQ(comparison.rows[1].label, L"The Files Are Diferent!");
}

// A library registered for this user alone is registered on both tabs, at
// the same path.
TEST_F(Comparison, ALibraryRegisteredForThisUserIsRegisteredOnBothTabs) {
    ScopedTypeLibKeys machine(kAlphaGuid); // nothing under the classes root
    ScopedTypeLibKeys ten(kTenGuid);
    ScopedTypeLibKeys user(kAlphaGuid, HKEY_CURRENT_USER, L"Software\\Classes\\");
    ASSERT_TRUE(user.AddVersion(L"1.0", L"Alpha one", L"C:\\mine\\alpha1.dll"));
    const std::vector<Row> report = ReportOf(L"tl_alpha.dll");
    ASSERT_GE(report.size(), 6u);
    EXPECT_EQ(report[4], (Row{L"Registered", L"Yes", false}));
    EXPECT_EQ(report[5], (Row{L"Path: ", L"C:\\mine\\alpha1.dll", false}));

    Compare(L"tl_alpha.dll", L"tl_ten.dll");
    ASSERT_EQ(comparison.rows.size(), 16u);
    EXPECT_EQ(comparison.rows[7], (Row{L"Registered", L"Yes", false}));
    EXPECT_EQ(comparison.rows[8], (Row{L"Registered Path:", L"C:\\mine\\alpha1.dll", false}));
    EXPECT_EQ(comparison.rows[14], (Row{L"Registered", L"No", false}));
}

TEST_F(Comparison, LibrariesThatDifferOnlyInTheirPlatformAreDifferent) {
    ScopedTypeLibKeys keys(kAlphaGuid);
    Compare(L"tl_alpha.dll", L"tl_alpha64.dll");
    ASSERT_EQ(comparison.rows.size(), 15u);
    EXPECT_EQ(comparison.rows[1].label, L"The Files Are Diferent!");
    // The same name, GUID and version; only the platform differs.
    for (size_t i = 3; i < 6; ++i)
        EXPECT_EQ(comparison.rows[i], comparison.rows[i + 6]);
    EXPECT_EQ(comparison.rows[6], (Row{L"Target Platform:", L"win32", false}));
    EXPECT_EQ(comparison.rows[12], (Row{L"Target Platform:", L"win64", false}));
}

// A file without a type library is compared as well: its section says it
// has none, and its file facts stand beside the other's.
TEST_F(Comparison, FilesWithoutATypeLibraryAreComparedToo) {
    for (auto [first, second] :
         {std::pair{L"tl_alpha.dll", L"tl_none.dll"}, std::pair{L"tl_none.dll", L"tl_alpha.dll"}}) {
        comparison.rows = {{L"old", L"", false}};
        Compare(first, second);
        SCOPED_TRACE(platform::Narrow(std::wstring(first) + L" " + second));
        ASSERT_GE(comparison.rows.size(), 4u);
        EXPECT_EQ(comparison.rows[1].label, L"The Files Are Diferent!");
        const auto none = std::find(comparison.rows.begin(), comparison.rows.end(),
                                    Row{L"This file has no type library.", L"", false});
        ASSERT_NE(none, comparison.rows.end());
        EXPECT_EQ((none - 1)->value, FixturePath(L"tl_none.dll"));
        EXPECT_TRUE(comparison.Compared(L"TypeLib GUID:").differs);
        EXPECT_TRUE(comparison.message.empty());
    }
    // Neither has one: the two builds differ in their version and bytes; one
    // of them twice is identical.
    Compare(L"tl_none.dll", L"tl_none_v9.dll");
    ASSERT_GE(comparison.rows.size(), 2u);
    EXPECT_EQ(comparison.rows[1].label, L"The Files Are Diferent!");
    EXPECT_TRUE(comparison.Compared(L"Version:").differs);
    EXPECT_TRUE(comparison.Compared(L"SHA-256:").differs);
    EXPECT_FALSE(comparison.Compared(L"TypeLib GUID:").differs);
    Compare(L"tl_none_v9.dll", L"tl_none_v9.dll");
    ASSERT_GE(comparison.rows.size(), 2u);
    EXPECT_EQ(comparison.rows[1].label, L"These files are Identical.");
    EXPECT_TRUE(box.shown.empty());
}

TEST_F(Comparison, ANameThatLeadsNowhereIsToldAsMissing) {
    for (auto [first, second] : {std::pair{L"tl_alpha.dll", L"missing.dll"},
                                 std::pair{L"no such folder\\x.dll", L"tl_alpha.dll"}}) {
        comparison.rows = {{L"old", L"", false}};
        Compare(first, second);
        const std::wstring gone =
            FixturePath(std::wstring(first) == L"tl_alpha.dll" ? second : first);
        EXPECT_TRUE(comparison.rows.empty()) << first << " " << second;
        EXPECT_EQ(comparison.message, L"The file \"" + gone + L"\" does not exist.");
    }
    EXPECT_TRUE(box.shown.empty());
}

TEST_F(Comparison, OneNameMissingAsksForTwoFilesAndLeavesTheGrid) {
    comparison.rows = {{L"previous", L"", true}};
    Compare(L"tl_alpha.dll", L"");
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].text, L"You must select two files!");
    EXPECT_EQ(box.shown[0].title, L"");
    EXPECT_EQ(box.shown[0].flags, 48u);
    EXPECT_EQ(comparison.rows, (std::vector<Row>({{L"previous", L"", true}})));
}

TEST(ComparisonErrors, UnboundInspectorReportsThroughTheGivenReporter) {
    FakeMessageBox box;
    std::wstring tag;
    ComponentInspector inspector(
        box, [&](const std::wstring& t, const platform::ErrorRecord&) { tag = t; });
    inspector.FirstFilename(L"a");
    inspector.SecondFilename(L"b");
    inspector.DoComparison();
    EXPECT_EQ(tag, L"DoComparison - ComponentInspector");
    EXPECT_TRUE(box.shown.empty());
    inspector.DisplayInfo(); // nothing bound: nothing happens, nothing shown
    EXPECT_TRUE(box.shown.empty());
    // Grids bound but no file reader: no comparison that would claim
    // "Identical" from the type libraries alone.
    RecordingPresenter info, comparison;
    inspector.Init(info, comparison);
    tag.clear();
    inspector.FirstFilename(FixturePath(L"tl_alpha.dll"));
    inspector.SecondFilename(FixturePath(L"tl_alpha.dll"));
    inspector.DoComparison();
    EXPECT_EQ(tag, L"DoComparison - ComponentInspector");
    EXPECT_TRUE(comparison.rows.empty());
}
