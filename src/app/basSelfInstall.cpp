#include "app/basSelfInstall.h"

namespace calvorn::app {

// Not built yet: the self-install arrives with its own change.
void InstallDependencies() {}
void InstallDependency(const std::wstring&) {}
std::int32_t RegisterServer(const std::wstring&) {
    return 0;
}

} // namespace calvorn::app
