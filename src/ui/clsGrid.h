#pragma once
// Writes reports into a grid as two-column rows, with alternating colours
// for section headings.

#include "inspection/report_presenter.h"
#include "ui/flex_grid.h"

namespace calvorn::ui {

class clsGrid final : public inspection::IReportPresenter {
  public:
    void Init(IFlexGrid& msflex);
    void Clear() override;
    void AddRow(const std::wstring& sCaption, const std::wstring& sText, bool bRevCol) override;
    void ShowMsg(const std::wstring& sMsg) override;

  private:
    IFlexGrid* grid_ = nullptr;
    bool headerToggle_ = false;
};

} // namespace calvorn::ui
