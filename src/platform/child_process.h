#pragma once
// Runs a helper program of ours and collects what it writes, for work that
// must not be done in the program's own process.

#include <chrono>
#include <optional>
#include <string>

namespace calvorn::platform {

struct ChildResult {
    unsigned long exitCode = 0;
    std::string output; // everything the child wrote to its standard output
};

// Starts `program` with `arguments` (the text after the program name), no
// window, and waits for it at most `timeout`. Empty when it cannot be started
// or does not end in time (it is then ended).
std::optional<ChildResult> RunChild(const std::wstring& program, const std::wstring& arguments,
                                    std::chrono::milliseconds timeout);

} // namespace calvorn::platform
