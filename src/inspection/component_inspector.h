#pragma once
// The component inspector: the single-file report and the two-file comparison.

#include "inspection/version_fields.h"
#include "inspection/report_presenter.h"
#include "platform/error_record.h"
#include "platform/message_box.h"

#include <functional>
#include <optional>
#include <string>

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

class ComponentInspector {
  public:
    // Without a reporter, trapped failures are shown in a message box.
    explicit ComponentInspector(platform::IMessageBox& messages = platform::Messages(),
                                ErrorReporter reporter = {});

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
    struct Summary;
    void ReportError(const std::wstring& tag, const platform::ErrorRecord& error);
    // `checked`: the section from a check; nullptr: from the type library.
    void Display(const std::optional<ExpectedRegistration>* checked,
                 const std::wstring& whyNotChecked);
    void TypeLibSection(const std::wstring& path);
    void FileSection(const std::wstring& path);
    // The path an open version key points to ("" when none is recorded).
    std::wstring RegisteredPath(const registry::RegistryKey& version);
    Summary Summarize(const TypeLibInfo& lib);

    platform::IMessageBox& messages_;
    ErrorReporter reporter_;
    IReportPresenter* grid_ = nullptr;
    IReportPresenter* gridComp_ = nullptr;
    VersionFields fileInfo_;
    std::wstring fileName_;
    std::wstring firstFilename_;
    std::wstring secondFilename_;
    bool bothSelected_ = false;
};

} // namespace calvorn::inspection
