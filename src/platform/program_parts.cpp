#include "platform/program_parts.h"

#include "platform/path_forms.h"
#include "platform/proc_address.h"
#include "platform/text.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

namespace calvorn::platform {
namespace {

bool IsFile(const std::wstring& path) {
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR raw = nullptr;
    std::wstring folder;
    // shell32 is bound when first needed: the window's start-up does not load it.
    static auto* const knownFolderPath =
        SystemProc<decltype(::SHGetKnownFolderPath)>(L"shell32.dll", "SHGetKnownFolderPath");
    if (knownFolderPath && SUCCEEDED(knownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &raw)) &&
        raw)
        folder = raw;
    ::CoTaskMemFree(raw);
    return folder;
}

std::wstring ProgramFilesOf(Bitness bitness) {
    if (bitness == Bitness::x86)
        return KnownFolder(FOLDERID_ProgramFilesX86);
    std::wstring folder = KnownFolder(FOLDERID_ProgramFilesX64);
    if (!folder.empty())
        return folder;
    // A 32-bit process on 64-bit Windows is not told the 64-bit folder by the
    // known-folder call; the system gives it this variable instead.
    wchar_t buffer[MAX_PATH];
    DWORD n = ::GetEnvironmentVariableW(L"ProgramW6432", buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : std::wstring();
}

} // namespace

std::wstring PartFileName(ProgramPart part, Bitness bitness) {
    const bool wide = bitness == Bitness::x64;
    switch (part) {
    case ProgramPart::Program:
        return wide ? L"calvorn64.exe" : L"calvorn.exe";
    case ProgramPart::RegistrationHost:
        return wide ? L"calvorn-reghost64.exe" : L"calvorn-reghost32.exe";
    case ProgramPart::TypeLibHelper:
        return wide ? L"calvorn-typelib64.exe" : L"calvorn-typelib32.exe";
    }
    return {};
}

std::optional<std::wstring> LocatePart(ProgramPart part, Bitness bitness) {
    const std::wstring name = PartFileName(part, bitness);
    std::wstring beside = JoinPath(ExecutableFolder(), name);
    if (IsFile(beside))
        return beside;
    const std::wstring programFiles = ProgramFilesOf(bitness);
    if (programFiles.empty())
        return std::nullopt;
    std::wstring installed = JoinPath(JoinPath(programFiles, L"Calvorn"), name);
    if (IsFile(installed))
        return installed;
    return std::nullopt;
}

bool SixtyFourBitWindows() {
    if constexpr (sizeof(void*) == 8)
        return true;
    BOOL wow = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow) && wow;
}

} // namespace calvorn::platform
