#pragma once
// While alive, a 32-bit process on 64-bit Windows sees the system folder the
// user named instead of its 32-bit twin. Everywhere else it does nothing.
// Only for plain file reads on this thread: a module loaded meanwhile would
// come from the wrong folder.

#include <windows.h>

namespace calvorn::platform {

class FileSystemRedirectionOff {
  public:
    FileSystemRedirectionOff() noexcept : off_(::Wow64DisableWow64FsRedirection(&old_) != FALSE) {}
    FileSystemRedirectionOff(const FileSystemRedirectionOff&) = delete;
    FileSystemRedirectionOff& operator=(const FileSystemRedirectionOff&) = delete;
    ~FileSystemRedirectionOff() {
        if (off_)
            ::Wow64RevertWow64FsRedirection(old_);
    }

  private:
    PVOID old_ = nullptr;
    bool off_;
};

} // namespace calvorn::platform
