#pragma once
// The component inspector: the single-file report and the two-file comparison.

#include "inspection/report_presenter.h"
#include "platform/message_box.h"

#include <string>

namespace calvorn::inspection {

class clsActiveX {
  public:
    explicit clsActiveX(platform::IMessageBox& messages = platform::Messages());

    void Init(IReportPresenter& mGrid, IReportPresenter& mGridComp);

    const std::wstring& FileName() const { return fileName_; }
    void FileName(std::wstring value) { fileName_ = std::move(value); }
    const std::wstring& FirstFilename() const { return firstFilename_; }
    void FirstFilename(std::wstring value);
    const std::wstring& SecondFilename() const { return secondFilename_; }
    void SecondFilename(std::wstring value);
    bool BothSelected() const { return bothSelected_; }

    void DisplayInfo();
    void DoComparison();

  private:
    platform::IMessageBox& messages_;
    IReportPresenter* grid_ = nullptr;
    IReportPresenter* gridComp_ = nullptr;
    std::wstring fileName_;
    std::wstring firstFilename_;
    std::wstring secondFilename_;
    bool bothSelected_ = false;
};

} // namespace calvorn::inspection
