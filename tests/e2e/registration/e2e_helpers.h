#pragma once
// Shared by the registration end-to-end tests: running the real program,
// the probe servers' registry traces, and scratch copies of files.

#include "fixtures/com/probe_registry.h"
#include "support/polling.h"
#include "support/test_paths.h"
#include "tools/drive_session.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <chrono>
#include <thread>

namespace calvorn::test {

inline std::wstring Quoted(const std::wstring& path) {
    return L"\"" + path + L"\"";
}

inline DriveResult RunCalvorn(const std::wstring& arguments, const std::vector<int>& answers,
                              const std::wstring& program = ProgramPath(),
                              const std::wstring& workingDir = {}) {
    return Drive(program, arguments, answers, std::chrono::seconds(60), workingDir);
}

// A copy of `source` at `folder` + `name`, the folder made when missing.
inline std::wstring CopyInto(const std::wstring& source, const std::wstring& folder,
                             const std::wstring& name) {
    ::CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring target = folder + name;
    EXPECT_TRUE(::CopyFileW(source.c_str(), target.c_str(), FALSE));
    return target;
}

// Whether a process of this file name runs (the registration host, a server).
inline bool ProcessRuns(const std::wstring& exeName) {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more && !found;
         more = ::Process32NextW(snapshot, &entry))
        found = _wcsicmp(entry.szExeFile, exeName.c_str()) == 0;
    ::CloseHandle(snapshot);
    return found;
}

// Every test starts and ends with no probe registrations.
class CleanProbes : public ::testing::Test {
  protected:
    void SetUp() override { CleanProbeRegistry(); }
    void TearDown() override { CleanProbeRegistry(); }
};

} // namespace calvorn::test
