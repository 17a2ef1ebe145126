#pragma once
// Builds a registered type library's keys under HKEY_CLASSES_ROOT\TypeLib
// in the test prefix, as a registration would leave them, and removes the
// whole GUID key again at the end of the scope.

#include <windows.h>

#include <string>

namespace calvorn::test {

class ScopedTypeLibKeys {
  public:
    // Starts from no key at all for this GUID (a leftover is removed). The
    // keys go under the classes root, or under another root's classes key as
    // a registration for one user leaves them (HKEY_CURRENT_USER,
    // "Software\\Classes\\").
    explicit ScopedTypeLibKeys(std::wstring guid, HKEY hive = HKEY_CLASSES_ROOT,
                               const std::wstring& classes = {})
        : hive_(hive), root_(classes + L"TypeLib\\" + std::move(guid)) {
        ::RegDeleteTreeW(hive_, root_.c_str());
    }
    ~ScopedTypeLibKeys() { ::RegDeleteTreeW(hive_, root_.c_str()); }
    ScopedTypeLibKeys(const ScopedTypeLibKeys&) = delete;
    ScopedTypeLibKeys& operator=(const ScopedTypeLibKeys&) = delete;

    // The GUID key alone, without versions.
    bool CreateLibraryKey() { return Write(root_, nullptr); }
    // A version key ("1.a") with its description; a path for "0\<platform>"
    // when one is given ("win32" or "win64"; by default the one a
    // registration by this build's bitness writes).
    bool AddVersion(const std::wstring& keyName, const std::wstring& description,
                    const std::wstring& path = {},
                    const std::wstring& platform = sizeof(void*) == 8 ? L"win64" : L"win32") {
        std::wstring key = root_ + L"\\" + keyName;
        if (!Write(key, description.c_str()))
            return false;
        return path.empty() || Write(key + L"\\0\\" + platform, path.c_str());
    }

  private:
    bool Write(const std::wstring& key, const wchar_t* defaultValue) const {
        HKEY h = nullptr;
        if (::RegCreateKeyExW(hive_, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) !=
            ERROR_SUCCESS)
            return false;
        LSTATUS rc = ERROR_SUCCESS;
        if (defaultValue)
            rc =
                ::RegSetValueExW(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(defaultValue),
                                 static_cast<DWORD>((wcslen(defaultValue) + 1) * sizeof(wchar_t)));
        ::RegCloseKey(h);
        return rc == ERROR_SUCCESS;
    }

    HKEY hive_;
    std::wstring root_;
};

// The fixture libraries (tests/fixtures/typelibs).
inline constexpr wchar_t kAlphaGuid[] = L"{80F7BAE5-47C8-4874-AA3A-2C5BEB552420}";
inline constexpr wchar_t kTenGuid[] = L"{45E5CB82-EBD8-422E-AB7E-218666B43869}";
inline constexpr wchar_t kNoHelpGuid[] = L"{B41A9461-8B55-492E-9FBF-7C1B91125453}";

} // namespace calvorn::test
