#include "inspection/component_inspector.h"

#include "inspection/machine_changes.h"
#include "inspection/machine_registration_state.h"
#include "inspection/module_report.h"
#include "inspection/typelib_info.h"
#include "platform/program_parts.h"
#include "registry/registry_accessor.h"
#include "registry/registry_key.h"

#include <windows.h>

#include <cwctype>
#include <optional>
#include <string_view>

namespace calvorn::inspection {

using platform::ErrorRecord;
using platform::Failure;
using registry::kHKeyClassesRoot;
using registry::RegistryKey;

namespace {

constexpr unsigned kExclamationOk = MB_OK | MB_ICONEXCLAMATION;

std::wstring NameText(const TypeLibInfo& lib) {
    return lib.Name() + L" (" + lib.HelpString() + L")";
}

std::wstring LibraryKey(const TypeLibInfo& lib) {
    return L"TypeLib\\" + lib.Guid();
}

std::wstring VersionKey(const TypeLibInfo& lib) {
    return LibraryKey(lib) + L"\\" + VersionKeyName(lib.MajorVersion(), lib.MinorVersion());
}

const std::wstring kUserClasses = L"Software\\Classes\\";

// Where a version registered for this user is registered: for the user
// alone, or for the machine as well.
std::wstring UserScopeText(const std::wstring& versionKey) {
    if (RegistryKey::Open(registry::kHKeyLocalMachine, kUserClasses + versionKey))
        return L"This user (HKEY_CURRENT_USER\\Software\\Classes) and all users";
    return L"This user only (HKEY_CURRENT_USER\\Software\\Classes)";
}

// Where a library is registered, looked up the same way for the report and
// the comparison.
struct Registration {
    // The library's key under the classes root, with every version there.
    std::optional<RegistryKey> library;
    // The key of this version, in the classes root or in the user's own classes.
    std::optional<RegistryKey> version;
    // Registered in the user's own classes.
    bool forUser = false;
};

Registration FindRegistration(const TypeLibInfo& lib) {
    Registration found;
    // The library key is opened once; the version is read relative to it.
    found.library = RegistryKey::Open(kHKeyClassesRoot, LibraryKey(lib));
    const std::wstring keyName = VersionKeyName(lib.MajorVersion(), lib.MinorVersion());
    if (found.library)
        found.version = found.library->Sub(keyName);
    // A registration for this user only lives in the user's classes, which
    // Wine does not merge into the classes root: it is looked for there too.
    std::optional<RegistryKey> userVersion =
        RegistryKey::Open(registry::kHKeyCurrentUser, kUserClasses + VersionKey(lib));
    found.forUser = userVersion.has_value();
    if (!found.version)
        found.version = std::move(userVersion);
    return found;
}

// A version key's name ("2.a", hexadecimal) as the report writes versions
// ("2.10"); a name of another form is shown as it stands.
std::wstring VersionTextOfKey(const std::wstring& name) {
    const size_t dot = name.find(L'.');
    if (dot == std::wstring::npos || dot == 0 || dot + 1 == name.size() ||
        name.find(L'.', dot + 1) != std::wstring::npos)
        return name;
    auto number = [](std::wstring_view digits) -> std::optional<std::uint16_t> {
        if (digits.size() > 4)
            return std::nullopt;
        unsigned value = 0;
        for (wchar_t c : digits) {
            if (!std::iswxdigit(c))
                return std::nullopt;
            value = value * 16 + (std::iswdigit(c) ? c - L'0' : (std::towlower(c) - L'a' + 10));
        }
        return static_cast<std::uint16_t>(value);
    };
    const auto major = number(std::wstring_view(name).substr(0, dot));
    const auto minor = number(std::wstring_view(name).substr(dot + 1));
    return major && minor ? VersionText(*major, *minor) : name;
}

// What stands in the way of a report on `path`, said in words; nothing when
// the path names a file.
std::optional<std::wstring> PathProblem(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return L"The file \"" + path + L"\" does not exist.";
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return L"\"" + path + L"\" is a folder, not a component file.";
    return std::nullopt;
}

// A name without a folder is looked for as the loader looks for a module.
std::wstring Located(const std::wstring& path) {
    if (path.find_first_of(L"\\/:") != std::wstring::npos)
        return path;
    wchar_t found[MAX_PATH] = {};
    const DWORD n = ::SearchPathW(nullptr, path.c_str(), nullptr, MAX_PATH, found, nullptr);
    return n > 0 && n < MAX_PATH ? std::wstring(found, n) : path;
}

bool HasVersionInformation(const VersionFields& f) {
    for (const std::wstring* field :
         {&f.CompanyName, &f.FileDescription, &f.InternalName, &f.LegalCopyright,
          &f.LegalTrademarks, &f.OriginalFileName, &f.ProductName, &f.ProductVersion, &f.Comments,
          &f.StrucVerEx, &f.FileVerEx, &f.ProdVerEx, &f.FileFlagsEx, &f.FileOSEx, &f.FileTypeEx,
          &f.FileSubTypeEx})
        if (!field->empty())
            return true;
    return false;
}

} // namespace

ComponentInspector::ComponentInspector(platform::IMessageBox& messages, ErrorReporter reporter,
                                       ComparedFileReader readFile)
    : messages_(messages), reporter_(std::move(reporter)), readFile_(std::move(readFile)) {}

void ComponentInspector::ReportError(const std::wstring& tag, const ErrorRecord& error) {
    if (reporter_)
        reporter_(tag, error);
    else
        messages_.Show(platform::FormatErrorReport(tag, error), L"", MB_OK);
}

void ComponentInspector::Init(IReportPresenter& mGrid, IReportPresenter& mGridComp) {
    grid_ = &mGrid;
    gridComp_ = &mGridComp;
}

void ComponentInspector::FirstFilename(std::wstring value) {
    firstFilename_ = std::move(value);
    if (!secondFilename_.empty())
        bothSelected_ = true;
}

void ComponentInspector::SecondFilename(std::wstring value) {
    secondFilename_ = std::move(value);
    if (!firstFilename_.empty())
        bothSelected_ = true;
}

std::wstring ComponentInspector::RegisteredPath(const registry::RegistryKey& version) {
    // Each build reports its own view first: the entry of the platform it
    // runs as. The other platform's entry, when it is the only one, is shown
    // with that platform named. A key that opens answers whether the entry
    // exists; its value then needs no second look.
    constexpr bool k64 = platform::OwnBitness() == platform::Bitness::x64;
    if (auto own = version.Sub(k64 ? L"0\\win64" : L"0\\win32"))
        return own->Text().value_or(L"");
    if (auto other = version.Sub(k64 ? L"0\\win32" : L"0\\win64"))
        return other->Text().value_or(L"") + (k64 ? L" (win32)" : L" (win64)");
    return L"";
}

void ComponentInspector::DisplayInfo() {
    Display(nullptr, {});
}

void ComponentInspector::DisplayChecked(const std::optional<ExpectedRegistration>& checked,
                                        const std::wstring& whyNotChecked) {
    Display(&checked, whyNotChecked);
}

void ComponentInspector::Display(const std::optional<ExpectedRegistration>* checked,
                                 const std::wstring& whyNotChecked) {
    if (!grid_)
        return;
    // Laid out and drawn once, when the report is whole.
    PresenterUpdate update(*grid_);
    grid_->Clear();
    fileInfo_ = VersionFields{};
    // No name, no report: an empty grid rather than a skeleton of blanks.
    if (fileName_.empty())
        return;
    const std::wstring path = Located(fileName_);
    try {
        if (auto problem = PathProblem(path)) {
            grid_->ShowMsg(*problem);
            return;
        }
    } catch (...) {
        ReportError(L"Display - ComponentInspector", platform::CurrentFailure());
        return;
    }
    // A section that fails ends where it failed, says why in an error row,
    // and the sections after it still follow.
    try {
        TypeLibSection(path);
    } catch (...) {
        SectionFailed(L"TypeLib Info");
    }
    try {
        FileSection(path);
    } catch (...) {
        SectionFailed(L"File Info");
    }
    try {
        for (const ModuleRow& row : ModuleRowsOf(path))
            grid_->AddRow(row.label, row.value, row.heading);
    } catch (...) {
        SectionFailed(L"Module");
    }
    try {
        if (!checked) {
            if (auto expected = ExpectedFromTypeLibrary(path))
                RegistrationRows(*grid_, *expected);
        } else if (*checked) {
            RegistrationRows(*grid_, **checked);
        } else {
            grid_->AddRow(L"Registration", L"", true);
            grid_->AddRow(L"Checked:", L"The file could not be checked: " + whyNotChecked, false);
        }
    } catch (...) {
        SectionFailed(L"Registration");
    }
}

void ComponentInspector::SectionFailed(const wchar_t* section) {
    const ErrorRecord error = platform::CurrentFailure();
    try {
        grid_->AddRow(L"Error:", platform::FormatErrorReport(section, error), false);
    } catch (...) {
        // The grid itself failed: the user hears of it in a box instead.
        ReportError(L"Display - ComponentInspector", error);
    }
}

void RegistrationRows(IReportPresenter& grid, const ExpectedRegistration& expected) {
    const MachineRegistrationState state(expected.is64Bit);
    const RegistrationHealth health = CheckRegistration(expected, state);
    grid.AddRow(L"Registration", L"", true);
    grid.AddRow(L"Verdict:", VerdictText(health), false);
    std::wstring checked =
        expected.source == EntrySource::TypeLibrary
            ? L"From the type library; the component's own registration code was not run."
            : L"From the component's own registration code, run in the registration host; " +
                  MachineChangesText(expected.machineChanges);
    if (expected.entries.empty())
        checked = L"The file has no registration code and no type library.";
    if (!expected.codeNotRun.empty())
        checked += L" " + expected.codeNotRun;
    grid.AddRow(L"Checked:", checked, false);
    // The label column is narrow: the kind goes there, the name (with its
    // GUID) beside the fact, where it is read whole.
    for (const EntryHealth& entry : health.entries)
        grid.AddRow(EntryKindText(entry.entry.kind) + L":",
                    EntryName(entry.entry) + L": " + EntryFact(entry), false);
}

void ComponentInspector::TypeLibSection(const std::wstring& path) {
    std::optional<TypeLibInfo> lib = TypeLibInfo::Open(path);
    if (!lib)
        return;
    const std::wstring keyName = VersionKeyName(lib->MajorVersion(), lib->MinorVersion());
    const Registration found = FindRegistration(*lib);
    const std::optional<RegistryKey>& library = found.library;
    const std::optional<RegistryKey>& version = found.version;

    grid_->AddRow(L"TypeLib Info", L"", true);
    grid_->AddRow(L"TypeLib Name:", NameText(*lib), false);
    grid_->AddRow(L"GUID:", lib->Guid(), false);
    grid_->AddRow(L"Version:", VersionText(lib->MajorVersion(), lib->MinorVersion()), false);

    if (!library && !version) {
        grid_->AddRow(L"Registered", L"No", false);
        return;
    }
    if (version) {
        grid_->AddRow(L"Registered", L"Yes", false);
        grid_->AddRow(L"Path: ", RegisteredPath(*version), false);
        if (found.forUser)
            grid_->AddRow(L"Registered For: ", UserScopeText(VersionKey(*lib)), false);
    } else {
        grid_->AddRow(L"Registered", L"No", false);
    }
    if (!library)
        return;

    const std::vector<std::wstring> names = library->SubkeyNames();
    if (!(names.size() > 1 || !version))
        return;
    grid_->AddRow(L"Other Versions Found!", L"", true);
    for (const std::wstring& name : names) {
        // Key names compare as the registry does, without regard to case.
        if (_wcsicmp(name.c_str(), keyName.c_str()) == 0)
            continue;
        const std::optional<RegistryKey> other = library->Sub(name);
        grid_->AddRow(L"TypeLib Name:", other ? other->Text().value_or(L"") : L"", false);
        grid_->AddRow(L"Version:", VersionTextOfKey(name), false);
        grid_->AddRow(L"Path: ", other ? RegisteredPath(*other) : L"", false);
    }
}

void ComponentInspector::FileSection(const std::wstring& path) {
    auto row = [this](const wchar_t* label, const std::wstring& value, bool heading = false) {
        grid_->AddRow(label, value, heading);
    };
    row(L"File Info", L"", true);
    fileInfo_.SelectFile(path);
    const VersionFields& f = fileInfo_;
    // A file that could not be read is not said to have no version.
    if (f.ReadError != 0)
        throw Failure(platform::Win32Error(f.ReadError));
    if (!HasVersionInformation(f)) {
        row(L"This file has no version information.", L"");
        return;
    }
    row(L"CompanyName: ", f.CompanyName);
    row(L"FileDescription: ", f.FileDescription);
    row(L"InternalName: ", f.InternalName);
    row(L"LegalCopyright: ", f.LegalCopyright);
    row(L"LegalTrademarks: ", f.LegalTrademarks);
    row(L"OriginalFileName: ", f.OriginalFileName);
    row(L"ProductName: ", f.ProductName);
    row(L"ProductVersion: ", f.ProductVersion);
    row(L"Comments: ", f.Comments);
    row(L"Extended File Info", L"", true);
    row(L"Type: ", f.FileTypeEx);
    row(L"SubType: ", f.FileSubTypeEx);
    row(L"Version: ", f.FileVerEx);
    row(L"Product Version: ", f.ProdVerEx);
    row(L"OS: ", f.FileOSEx);
    row(L"Structure Version: ", f.StrucVerEx);
    row(L"Flags: ", f.FileFlagsEx);
}

ComponentInspector::Summary ComponentInspector::Summarize(const TypeLibInfo& lib) {
    Summary s;
    const Registration found = FindRegistration(lib);
    s.registered = found.version.has_value();
    if (found.version)
        s.registeredPath = RegisteredPath(*found.version);
    s.versionText = VersionText(lib.MajorVersion(), lib.MinorVersion());
    s.platform = lib.TargetPlatform();
    s.guid = lib.Guid();
    s.nameText = NameText(lib);
    return s;
}

void ComponentInspector::DoComparison() {
    // The files the names lead to, as the loader finds a bare name.
    std::pair<std::wstring, std::wstring> located;
    try {
        if (firstFilename_.empty() || secondFilename_.empty()) {
            messages_.Show(L"You must select two files!", L"", kExclamationOk);
            return;
        }
        if (!gridComp_)
            throw Failure({E_POINTER, L"clsActiveX", L"The comparison grid is not bound."});
        if (!readFile_)
            throw Failure(
                {E_POINTER, L"clsActiveX", L"The comparison's file reader is not bound."});
        gridComp_->Clear();
        // A name that leads nowhere is told as such, not as a file without
        // a library.
        for (const std::wstring* path : {&firstFilename_, &secondFilename_}) {
            if (auto problem = PathProblem(Located(*path))) {
                gridComp_->ShowMsg(*problem);
                return;
            }
        }
        located = {Located(firstFilename_), Located(secondFilename_)};
    } catch (...) {
        ReportError(L"DoComparison - ComponentInspector", platform::CurrentFailure());
        return;
    }

    PresenterUpdate update(*gridComp_);
    try {
        WriteComparison(located.first, located.second);
        return;
    } catch (...) {
        // No failure leaves the window's procedure; the user hears of it.
        ReportError(L"DoComparison - ComponentInspector", platform::CurrentFailure());
    }
    // Rows already written would describe half a comparison: none stay.
    gridComp_->Clear();
}

} // namespace calvorn::inspection
