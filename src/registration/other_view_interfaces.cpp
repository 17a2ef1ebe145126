#include "registration/other_view_interfaces.h"

#include "registry/registry_accessor.h"
#include "registry/registry_key.h"

#include <windows.h>

#include <cwctype>

namespace calvorn::registration {

namespace {

constexpr const wchar_t* kInterfaces = L"Software\\Classes\\Interface";

} // namespace

OtherViewInterfaces::OtherViewInterfaces(platform::Bitness component) {
    if (!platform::SixtyFourBitWindows())
        return;
    view_ = component == platform::Bitness::x64 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    try {
        before_ = Names();
    } catch (...) {
        // A listing that breaks off tells nothing of what is new: watch nothing.
        view_ = 0;
    }
}

std::set<std::wstring> OtherViewInterfaces::Names() const {
    std::set<std::wstring> names;
    if (const auto interfaces =
            registry::RegistryKey::Open(registry::kHKeyLocalMachine, kInterfaces, view_))
        for (std::wstring name : interfaces->SubkeyNames()) {
            for (wchar_t& c : name)
                c = static_cast<wchar_t>(std::towupper(c));
            names.insert(std::move(name));
        }
    return names;
}

void OtherViewInterfaces::RemoveNewOnes() const {
    if (view_ == 0)
        return;
    try {
        for (const std::wstring& name : Names())
            if (!before_.contains(name))
                registry::DeleteKeyTree(registry::kHKeyLocalMachine,
                                        std::wstring(kInterfaces) + L"\\" + name, view_);
    } catch (...) {
        // What cannot be listed cannot be told apart; it stays.
    }
}

} // namespace calvorn::registration
