#pragma once
// Where the component report and the comparison write their rows: a label,
// a value, and whether the row is a section heading.

#include <string>

namespace calvorn::inspection {

class IReportPresenter {
  public:
    virtual ~IReportPresenter() = default;
    virtual void Clear() = 0;
    virtual void AddRow(const std::wstring& sCaption, const std::wstring& sText, bool bRevCol) = 0;
    virtual void ShowMsg(const std::wstring& sMsg) = 0;
};

} // namespace calvorn::inspection
