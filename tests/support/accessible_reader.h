#pragma once
// Reads a window's client object as assistive tools do, through the
// platform's accessibility calls, in this process or across processes.

#include <windows.h>

#include <objbase.h>

#include <optional>
#include <string>

namespace calvorn::test {

struct AccessibleFacts {
    std::wstring name;
    long role = 0;
    long state = 0;
    std::wstring defaultAction;
    std::wstring shortcut;
};

// COM for the calling thread while it lives.
struct ComApartment {
    ComApartment() { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComApartment() { ::CoUninitialize(); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
};

// Nothing when the window offers no accessible object.
std::optional<AccessibleFacts> ReadAccessible(HWND hwnd);
// Asks the window's object for its default action; the result of the call.
HRESULT DoDefaultAction(HWND hwnd);

} // namespace calvorn::test
