#pragma once
// The component inspector: the single-file report and the two-file comparison.

#include "inspection/version_fields.h"
#include "inspection/report_presenter.h"
#include "platform/error_record.h"
#include "platform/message_box.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace calvorn::registry {
class RegistryKey;
}

namespace calvorn::inspection {

class TypeLibInfo;
struct ExpectedRegistration;

// The "Registration" section: the verdict, where the entries came from, and
// a row per entry, as the machine holds them now.
void RegistrationRows(IReportPresenter& grid, const ExpectedRegistration& expected);

// How trapped failures reach the user: a tag naming the routine and the
// record of what failed. The application hands in its error reporter.
using ErrorReporter = std::function<void(const std::wstring& tag, const platform::ErrorRecord&)>;

// What the comparison sets side by side beside the type libraries, read by
// the inventory's reader: the same labelled facts, in the same order, for
// every file.
struct ComparedFile {
    std::vector<std::pair<std::wstring, std::wstring>> facts;
    // Lower-case hex over every byte the size counts; empty when unread.
    std::string sha256;
    std::optional<std::uint64_t> size;
    // Why the file could not be read; empty when it was.
    std::wstring error;
};
using ComparedFileReader = std::function<ComparedFile(const std::wstring& path)>;

class ComponentInspector {
  public:
    // Without a reporter, trapped failures are shown in a message box.
    // Without a file reader the comparison cannot be made, and says so.
    explicit ComponentInspector(platform::IMessageBox& messages = platform::Messages(),
                                ErrorReporter reporter = {}, ComparedFileReader readFile = {});

    void Init(IReportPresenter& mGrid, IReportPresenter& mGridComp);

    const std::wstring& FileName() const { return fileName_; }
    void FileName(std::wstring value) { fileName_ = std::move(value); }
    const std::wstring& FirstFilename() const { return firstFilename_; }
    void FirstFilename(std::wstring value);
    const std::wstring& SecondFilename() const { return secondFilename_; }
    void SecondFilename(std::wstring value);
    bool BothSelected() const { return bothSelected_; }

    void DisplayInfo();
    // The report again, its "Registration" section from a check that ran the
    // component's registration code: what that code writes, or nullopt and
    // why the file could not be checked.
    void DisplayChecked(const std::optional<ExpectedRegistration>& checked,
                        const std::wstring& whyNotChecked);
    void DoComparison();

  private:
    // What the comparison shows of one file's type library.
    struct Summary {
        std::wstring nameText;
        std::wstring guid;
        std::wstring versionText;
        std::wstring platform;
        bool registered = false;
        std::wstring registeredPath;
    };
    void ReportError(const std::wstring& tag, const platform::ErrorRecord& error);
    // `checked`: the section from a check; nullptr: from the type library.
    void Display(const std::optional<ExpectedRegistration>* checked,
                 const std::wstring& whyNotChecked);
    // Inside a catch handler: the section's failure as an error row in its
    // place (in a box when the grid itself fails), never dropped.
    void SectionFailed(const wchar_t* section);
    void TypeLibSection(const std::wstring& path);
    void FileSection(const std::wstring& path);
    // The path an open version key points to ("" when none is recorded).
    std::wstring RegisteredPath(const registry::RegistryKey& version);
    Summary Summarize(const TypeLibInfo& lib);
    // The comparison's rows, or why a file could not be read; the files'
    // facts are read from where their names lead.
    void WriteComparison(const std::wstring& firstFile, const std::wstring& secondFile);

    platform::IMessageBox& messages_;
    ErrorReporter reporter_;
    ComparedFileReader readFile_;
    IReportPresenter* grid_ = nullptr;
    IReportPresenter* gridComp_ = nullptr;
    VersionFields fileInfo_;
    std::wstring fileName_;
    std::wstring firstFilename_;
    std::wstring secondFilename_;
    bool bothSelected_ = false;
};

} // namespace calvorn::inspection
