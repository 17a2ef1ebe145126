#pragma once
// Where the component report and the comparison write their rows: a label,
// a value, and whether the row is a section heading; the comparison adds
// rows of a label and two values.

#include <string>

namespace calvorn::inspection {

class IReportPresenter {
  public:
    virtual ~IReportPresenter() = default;
    virtual void Clear() = 0;
    virtual void AddRow(const std::wstring& sCaption, const std::wstring& sText, bool bRevCol) = 0;
    virtual void ShowMsg(const std::wstring& sMsg) = 0;
    // One fact of two files side by side; a row whose values differ is
    // marked so.
    virtual void AddComparedRow(const std::wstring& caption, const std::wstring& first,
                                const std::wstring& second, bool differs) = 0;
    // Around a whole report: the presenter may hold its drawing and layout
    // until the report is written, and catch up once.
    virtual void BeginUpdate() {}
    virtual void EndUpdate() {}
};

// BeginUpdate for a scope, EndUpdate however it is left.
class PresenterUpdate {
  public:
    explicit PresenterUpdate(IReportPresenter& presenter) : presenter_(presenter) {
        presenter_.BeginUpdate();
    }
    ~PresenterUpdate() { presenter_.EndUpdate(); }
    PresenterUpdate(const PresenterUpdate&) = delete;
    PresenterUpdate& operator=(const PresenterUpdate&) = delete;

  private:
    IReportPresenter& presenter_;
};

} // namespace calvorn::inspection
