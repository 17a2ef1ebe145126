#pragma once
// The entries a component's registration check looks for, read from what
// its own registration code wrote when it ran against a scratch key: every
// class (with each of its servers), ProgID, type-library version and
// interface. Only the keys that identify a registration are held against the
// machine, not every key the code writes. Linear in the captured keys. Free
// of Windows headers.

#include "inspection/registration_health.h"
#include "registration/captured_registration.h"

namespace calvorn::registration {

inspection::ExpectedRegistration ExpectedFromCapture(const CapturedRegistration& captured);

} // namespace calvorn::registration
