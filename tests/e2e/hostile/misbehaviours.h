#pragma once
// The hostile components and what the user is told about each, shared by the
// command-line and the main-window tests.

#include <string>
#include <vector>

namespace calvorn::test {

inline const wchar_t* kHost = L"calvorn-reghost32.exe";
inline const std::wstring kWaited = L"0x800705B4: ";

struct Misbehaviour {
    const wchar_t* file;
    bool succeeds;
    std::wstring registerLine; // the lines after the first for -r ("" none)
    std::wstring unregisterLine;
    // Its entry point succeeded but it would not unload: a first line and an
    // icon of its own.
    bool notUnloaded = false;
};

inline std::vector<Misbehaviour> Misbehaviours() {
    const std::wstring unknown = L"did not finish within 10 seconds and was stopped; the outcome "
                                 L"is unknown (it may have written part of its keys).";
    auto both = [](const wchar_t* file, bool ok, const std::wstring& line) {
        return Misbehaviour{file, ok, line, line};
    };
    return {
        both(L"probe_thread_left.dll", true, L""),
        both(L"probe_attach_hang.dll", false,
             kWaited + L"The component did not finish loading within 10 seconds (its DllMain "
                       L"hangs) and was stopped; its entry point never ran."),
        {L"probe_detach_hang.dll", true,
         kWaited + L"The component's entry point succeeded, but the component did not unload "
                   L"within 10 seconds (its DllMain hangs) and was stopped.",
         kWaited + L"The component's entry point succeeded, but the component did not unload "
                   L"within 10 seconds (its DllMain hangs) and was stopped.",
         true},
        both(L"probe_lock_hang.dll", false,
             kWaited + L"The component hung holding the system's loader lock and was stopped "
                       L"after 10 seconds; the outcome is unknown."),
        {L"probe_exit.dll", false,
         L"The component ended the registration process (exit code 42) before it finished.",
         L"The component ended the registration process (exit code 43) before it finished."},
        both(L"probe_throws.dll", false,
             L"0xE06D7363: The component crashed (C++ exception not caught)."),
        both(L"probe_slow.dll", false, kWaited + L"The component " + unknown),
        // What a component prints is shown with a failure, never believed.
        both(L"probe_prints.dll", true, L""),
        both(L"probe_forges.dll", false,
             L"0xC0000005: The component crashed (access violation).\nThe component printed: " +
                 std::wstring(32, L'?')),
        both(L"probe_cpp_throw.dll", false,
             L"The component ended the registration process (exit code 3) before it finished.\n"
             L"The component printed: terminate called after throwing an instance of 'int'"),
        both(L"probe_ole_undone.dll", true, L""),
        both(L"probe_server.exe", true, L""),
        both(L"probe_exe_fails.exe", false, L"The server ended with exit code 1."),
        both(L"probe_stuck_server.exe", false, kWaited + L"The server " + unknown),
    };
}

// The whole outcome message for one of them.
inline std::wstring ToldAbout(const Misbehaviour& m, bool registering) {
    std::wstring first = m.notUnloaded
                             ? std::wstring(L"ActiveX Component ") + (registering ? L"" : L"un") +
                                   L"registered, but the component did not unload in time."
                             : std::wstring(L"ActiveX Component ") + (registering ? L"" : L"un") +
                                   L"registration " + (m.succeeds ? L"successful!" : L"failed!");
    const std::wstring& line = registering ? m.registerLine : m.unregisterLine;
    return line.empty() ? first : first + L"\n" + line;
}

} // namespace calvorn::test
