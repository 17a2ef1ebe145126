#include "app/report.h"

namespace calvorn::app {

// Not built yet: the folder report arrives with its own change.
void CreateReport(const std::wstring&) {}
void OpenDocument(const std::wstring&) {}

} // namespace calvorn::app
