#pragma once
// A component registered for one user creates the containers it writes into
// under HKEY_CURRENT_USER\Software\Classes (CLSID, TypeLib...) when they are
// not there yet, and its unregistration takes away only its own keys. The
// containers a registration created are noted, and taken away again once the
// component's unregistration has left them empty, so that registering and
// unregistering for the user leave the user's classes as they were.

#include <string>
#include <vector>

namespace calvorn::registration {

class UserClassContainers {
  public:
    // Notes which containers are there before a registration for the user.
    UserClassContainers();
    // After it: the containers that appeared are noted as the program's.
    void NoteCreated() const;
    // After an unregistration for the user: those noted that are empty go.
    static void RemoveEmptyCreated();

  private:
    std::vector<std::wstring> present_;
};

} // namespace calvorn::registration
