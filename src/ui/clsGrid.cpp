#include "ui/clsGrid.h"

namespace calvorn::ui {

// Not built yet: the report grid arrives with its own change.
void clsGrid::Init(IFlexGrid& msflex) {
    grid_ = &msflex;
}
void clsGrid::Clear() {
    headerToggle_ = false;
}
void clsGrid::AddRow(const std::wstring&, const std::wstring&, bool) {}
void clsGrid::ShowMsg(const std::wstring&) {}

} // namespace calvorn::ui
