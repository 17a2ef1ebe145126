#include "inspection/clsActiveX.h"

namespace calvorn::inspection {

// Not built yet: the component report arrives with its own change.
clsActiveX::clsActiveX(platform::IMessageBox& messages) : messages_(messages) {}
void clsActiveX::Init(IReportPresenter& mGrid, IReportPresenter& mGridComp) {
    grid_ = &mGrid;
    gridComp_ = &mGridComp;
}
void clsActiveX::FirstFilename(std::wstring value) {
    firstFilename_ = std::move(value);
    if (!secondFilename_.empty())
        bothSelected_ = true;
}
void clsActiveX::SecondFilename(std::wstring value) {
    secondFilename_ = std::move(value);
    if (!firstFilename_.empty())
        bothSelected_ = true;
}
void clsActiveX::DisplayInfo() {}
void clsActiveX::DoComparison() {}

} // namespace calvorn::inspection
