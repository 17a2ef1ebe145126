#include "platform/per_user_classes.h"

namespace calvorn::platform {

PerUserClasses::PerUserClasses(bool enabled) : enabled_(enabled) {
    if (!enabled_)
        return;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS,
                          nullptr, key_.put(), nullptr) == ERROR_SUCCESS)
        active_ = ::RegOverridePredefKey(HKEY_CLASSES_ROOT, key_.get()) == ERROR_SUCCESS;
}

PerUserClasses::~PerUserClasses() {
    if (active_)
        ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
}

} // namespace calvorn::platform
