#pragma once
// HKEY_CLASSES_ROOT read and written as the current user's own classes
// (HKEY_CURRENT_USER\Software\Classes) for as long as the object lives, so
// that a component's self-registration reaches this user only. Process-wide:
// meant for the one registration in hand.

#include "platform/unique_handle.h"

namespace calvorn::platform {

class PerUserClasses {
  public:
    // Does nothing when `enabled` is false.
    explicit PerUserClasses(bool enabled);
    ~PerUserClasses();
    PerUserClasses(const PerUserClasses&) = delete;
    PerUserClasses& operator=(const PerUserClasses&) = delete;

    // False when it was asked for and could not be set up.
    bool Ready() const { return active_ || !enabled_; }

  private:
    bool enabled_;
    bool active_ = false;
    UniqueHKey key_;
};

} // namespace calvorn::platform
