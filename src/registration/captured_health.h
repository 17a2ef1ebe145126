#pragma once
// The entries a component's registration check looks for, read from what
// its own registration code wrote when it ran against a scratch key: every
// class, ProgID, type-library version and interface, each with all of its
// keys. Free of Windows headers.

#include "inspection/registration_health.h"
#include "registration/captured_registration.h"

namespace calvorn::registration {

inspection::ExpectedRegistration ExpectedFromCapture(const CapturedRegistration& captured);

} // namespace calvorn::registration
