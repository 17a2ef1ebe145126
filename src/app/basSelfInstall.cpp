#include "app/basSelfInstall.h"

#include "app/basMain.h"
#include "app/basTools.h"
#include "registration/registration_session.h"

#include <windows.h>

#include <new>

namespace calvorn::app {

using registration::Operation;
using registration::RunRegistration;

namespace {

std::wstring SectionKey(const std::wstring& section) {
    return L"Software\\Calvorn\\" + section;
}

// The pause only lets what the components registered settle; it is spent
// only when a registration actually ran.
bool EntryPointRan(std::int32_t status) {
    return status == registration::rsRegistered || status == registration::rsRegisterFailed;
}

} // namespace

std::wstring GetSetting(const std::wstring& section, const std::wstring& key,
                        const std::wstring& defaultValue) {
    std::wstring subKey = SectionKey(section);
    DWORD size = 0;
    if (::RegGetValueW(HKEY_CURRENT_USER, subKey.c_str(), key.c_str(), RRF_RT_REG_SZ, nullptr,
                       nullptr, &size) != ERROR_SUCCESS)
        return defaultValue;
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (::RegGetValueW(HKEY_CURRENT_USER, subKey.c_str(), key.c_str(), RRF_RT_REG_SZ, nullptr,
                       value.data(), &size) != ERROR_SUCCESS)
        return defaultValue;
    return StripNull(value);
}

void SaveSetting(const std::wstring& section, const std::wstring& key, const std::wstring& value) {
    ::RegSetKeyValueW(HKEY_CURRENT_USER, SectionKey(section).c_str(), key.c_str(), REG_SZ,
                      value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void InstallDependencies() {
    try {
        if (ToBool(GetSetting(L"General", kSelfInstallSetting, L"false")))
            return;
        bool ran = false;
        for (const wchar_t* name : kDependencies)
            ran = EntryPointRan(InstallDependency(name)) || ran;
        // Once per user, whatever came of it.
        SaveSetting(L"General", kSelfInstallSetting, L"true");
        if (ran)
            ::Sleep(500);
    } catch (const std::bad_alloc&) {
        // Nothing here is worth stopping the start-up for.
    }
}

std::int32_t InstallDependency(const std::wstring& sFile) {
    wchar_t buffer[MAX_PATH + 1] = {};
    UINT length = ::GetSystemDirectoryW(buffer, MAX_PATH + 1);
    std::wstring folder = length <= MAX_PATH ? StripNull(buffer) : std::wstring();
    if (folder.empty())
        return registration::rsNone;
    if (folder.back() != L'\\')
        folder += L'\\';
    std::wstring target = folder + sFile;
    if (::GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES) {
        // Never over an existing file: bFailIfExists.
        std::wstring source = App().sAppPath + sFile;
        ::CopyFileW(source.c_str(), target.c_str(), TRUE);
    }
    return RegisterServer(target);
}

std::int32_t RegisterServer(const std::wstring& sPath) {
    try {
        return RunRegistration(sPath, Operation::Register).status;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

} // namespace calvorn::app
