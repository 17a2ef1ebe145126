#include "inspection/clsFileInfo.h"

namespace calvorn::inspection {

// Not built yet: the version reader arrives with its own change.
void clsFileInfo::SelectFile(const std::wstring&) {
    *this = clsFileInfo{};
}

} // namespace calvorn::inspection
