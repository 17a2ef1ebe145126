#pragma once
// What a captured registration changed on the machine past its capture. The
// host redirects the predefined roots, but a component can still reach the
// machine's keys (the native registry calls, a link, a service manager, a
// process outside the host's job). The keys a registration can reach are
// watched from before the host runs until after it has gone, and the keys that
// changed meanwhile are named. Another program's change in the same moment is
// named too: the names say what changed while the component ran, not who
// changed it; nothing outside the watched keys is claimed.

#include "platform/program_parts.h"
#include "registration/captured_registration.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace calvorn::registration {

class MachineWatch {
  public:
    // Starts watching now; the component's bitness picks the registry view
    // in which the keys it touched are looked up afterwards.
    explicit MachineWatch(platform::Bitness component);
    ~MachineWatch();
    MachineWatch(const MachineWatch&) = delete;
    MachineWatch& operator=(const MachineWatch&) = delete;

    // The keys changed since the watch began, as "HKLM\Software\Classes\CLSID\{...}",
    // a removed one with " (removed)" after it; `touched` are the keys the
    // capture saw the component write, looked at where the machine holds them.
    // Empty (no value) when the watch could not be kept: nothing may then be
    // said of the machine either way.
    std::optional<std::vector<std::wstring>> Changes(const std::vector<CapturedKey>& touched) const;

    struct Area;

  private:
    std::vector<std::unique_ptr<Area>> areas_;
    std::uint64_t started_ = 0; // FILETIME ticks, taken before the host was asked
    std::uint32_t view_ = 0;    // KEY_WOW64_* of the component's view
};

} // namespace calvorn::registration
