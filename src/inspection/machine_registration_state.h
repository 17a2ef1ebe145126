#pragma once
// The registration check against this machine: the registry's classes in
// the view of the component's bitness and in the user's own classes, and
// the files they name. The entries a report checks without running any of
// the component's code come from its type library.

#include "inspection/registration_health.h"
#include "inspection/typelib_header.h"

#include <map>
#include <optional>
#include <string>

namespace calvorn::inspection {

class MachineRegistrationState final : public IRegistrationState {
  public:
    // The machine's classes are read in the 64-bit view for a 64-bit
    // component, in the 32-bit view otherwise.
    explicit MachineRegistrationState(bool component64Bit) : component64Bit_(component64Bit) {}

    bool HasKey(ClassesPlace place, const std::wstring& key) const override;
    std::optional<std::wstring> Value(ClassesPlace place, const std::wstring& key,
                                      const std::wstring& name) const override;
    // Also without "." and ".." and in the component's own view of the
    // system folder (a 32-bit component's is the 32-bit one).
    std::wstring Resolved(const std::wstring& path) const override;
    bool FileExists(const std::wstring& path) const override;
    std::wstring FileVersion(const std::wstring& path) const override;

  private:
    // A check asks about the same few files once per entry (a library with a
    // hundred interfaces names its file a hundred times); the file system is
    // asked once per file and check.
    std::wstring ResolvedNow(const std::wstring& path) const;
    bool component64Bit_;
    mutable std::map<std::wstring, std::wstring> resolved_;
    mutable std::map<std::wstring, bool> exists_;
    mutable std::map<std::wstring, std::wstring> versions_;
};

// What registering the component's type library writes: its creatable
// classes (with the server key a DLL or an EXE gets), the library version
// and its Automation interfaces. Nothing when the file holds no library.
std::optional<ExpectedRegistration> ExpectedFromTypeLibrary(const std::wstring& path);
// The same when the file's library header was already read (`header`, empty
// when the reader declined it).
std::optional<ExpectedRegistration>
ExpectedFromTypeLibrary(const std::wstring& path, const std::optional<TypeLibHeader>& header);

// The verdict word (VerdictWord) of a file checked from its type library,
// whose header the folder report has read already; empty for a file that
// registers nothing. For the folder report's column.
std::wstring RegistrationWordOf(const std::wstring& path,
                                const std::optional<TypeLibHeader>& header);

} // namespace calvorn::inspection
