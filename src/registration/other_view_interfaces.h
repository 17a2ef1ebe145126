#pragma once
// Under Wine, a type library registered by a 32-bit process also has each of
// its interfaces written into the 64-bit registry view, past the root that
// the registration host redirects into its scratch key (and a 64-bit one's
// into the 32-bit view). The names of the other view's interfaces are taken
// before a captured registration runs, so that the interfaces it made there
// are removed again once its host has gone. An interface the other view had
// before keeps its name, and whatever the component wrote into it stays.

#include "platform/program_parts.h"

#include <cstdint>
#include <set>
#include <string>

namespace calvorn::registration {

class OtherViewInterfaces {
  public:
    // Nothing to watch on 32-bit Windows, which has one view.
    explicit OtherViewInterfaces(platform::Bitness component);
    // The interfaces that have appeared in the other view since, deleted.
    void RemoveNewOnes() const;

  private:
    std::set<std::wstring> Names() const;

    std::uint32_t view_ = 0; // 0: nothing to watch
    std::set<std::wstring> before_;
};

} // namespace calvorn::registration
