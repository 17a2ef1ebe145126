#pragma once
// The scratch key a captured registration is written into, on the program's
// side: made before the host starts the component, read back and deleted
// after the host has gone (ended by us first, so that no late write of the
// component's survives the deletion). Keys left by a run that died are
// recognised by their name, which carries the owner's process id and start
// time, and removed by the next export.

#include "registration/captured_registration.h"

#include <optional>
#include <string>
#include <vector>

namespace calvorn::registration {

// Where scratch keys live, under HKEY_CURRENT_USER.
inline constexpr const wchar_t* kCaptureKey = L"Software\\Calvorn\\Capture";

class ScratchKey {
  public:
    // A new scratch key with one subkey per root; empty, with the Win32
    // error in `error`, when it cannot be made.
    static std::optional<ScratchKey> Create(unsigned long& error);
    ~ScratchKey();
    ScratchKey(ScratchKey&& other) noexcept;
    ScratchKey& operator=(ScratchKey&&) = delete;
    ScratchKey(const ScratchKey&) = delete;

    // Under HKEY_CURRENT_USER.
    const std::wstring& Path() const { return path_; }
    // Every key written under the stand-ins of the roots, parents first.
    std::vector<CapturedKey> ReadBack() const;
    // The key and everything in it, and the folders made for it when they
    // are left empty; symbolic links are deleted, never followed.
    void Remove();

  private:
    explicit ScratchKey(std::wstring path) : path_(std::move(path)) {}
    std::wstring path_;
};

// Removes the scratch keys whose owning process has gone, and the hosts'
// output files that a killed run left in the temporary folder.
void RemoveStaleScratchKeys();

// "\\?\C:\x" -> "C:\x", "\\?\UNC\s\x" -> "\\s\x"; anything else unchanged.
std::wstring PlainPathForm(const std::wstring& text);

} // namespace calvorn::registration
