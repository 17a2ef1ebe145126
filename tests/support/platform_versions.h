#pragma once
// The sixteen version fields of a file as the platform's own version calls
// give them (the table the platform names first, the root's fixed
// information), to hold the program's reading against.

#include "inspection/version_fields.h"
#include "inspection/version_block.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace calvorn::test {

inline inspection::VersionFields PlatformVersionFields(const std::wstring& path) {
    inspection::VersionFields f;
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0)
        return f;
    std::vector<BYTE> block(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data()))
        return f;
    void* data = nullptr;
    UINT length = 0;
    wchar_t table[32] = L"040904E4";
    if (::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &data, &length) &&
        length >= 4) {
        const WORD* pair = static_cast<const WORD*>(data);
        std::swprintf(table, 32, L"%04X%04X", pair[0], pair[1]);
    }
    const auto text = [&](const wchar_t* key) -> std::wstring {
        const std::wstring query = std::wstring(L"\\StringFileInfo\\") + table + L"\\" + key;
        void* value = nullptr;
        UINT chars = 0;
        if (!::VerQueryValueW(block.data(), query.c_str(), &value, &chars) || !value)
            return {};
        return std::wstring(static_cast<const wchar_t*>(value)).substr(0, chars);
    };
    f.CompanyName = text(L"CompanyName");
    f.FileDescription = text(L"FileDescription");
    f.InternalName = text(L"InternalName");
    f.LegalCopyright = text(L"LegalCopyright");
    f.LegalTrademarks = text(L"LegalTrademarks");
    f.OriginalFileName = text(L"OriginalFilename");
    f.ProductName = text(L"ProductName");
    f.ProductVersion = text(L"ProductVersion");
    f.Comments = text(L"Comments");
    // The call hands back whatever the root holds; a careful caller checks
    // the signature before taking it for the fixed information.
    VS_FIXEDFILEINFO fixed{};
    if (::VerQueryValueW(block.data(), L"\\", &data, &length) && length >= sizeof fixed)
        std::memcpy(&fixed, data, sizeof fixed);
    if (fixed.dwSignature == VS_FFI_SIGNATURE) {
        const inspection::FixedFileInfo info{
            fixed.dwSignature,     fixed.dwStrucVersion,     fixed.dwFileVersionMS,
            fixed.dwFileVersionLS, fixed.dwProductVersionMS, fixed.dwProductVersionLS,
            fixed.dwFileFlagsMask, fixed.dwFileFlags,        fixed.dwFileOS,
            fixed.dwFileType,      fixed.dwFileSubtype,      fixed.dwFileDateMS,
            fixed.dwFileDateLS};
        inspection::FixedInfoWords words = inspection::DecodeFixedInfo(info);
        f.StrucVerEx = words.StrucVerEx;
        f.FileVerEx = words.FileVerEx;
        f.ProdVerEx = words.ProdVerEx;
        f.FileFlagsEx = words.FileFlagsEx;
        f.FileOSEx = words.FileOSEx;
        f.FileTypeEx = words.FileTypeEx;
        f.FileSubTypeEx = words.FileSubTypeEx;
    }
    return f;
}

// Wine's 16-bit system files, as a 32-bit program sees them in its system folder.
// They live in the 32-bit system folder, which on 64-bit Windows is not the
// one named System32: files are read from the folder their path names.
inline std::vector<std::wstring> SixteenBitSystemFiles() {
    wchar_t system[MAX_PATH] = {};
    if (::GetSystemWow64DirectoryW(system, MAX_PATH) == 0)
        ::GetSystemDirectoryW(system, MAX_PATH);
    std::vector<std::wstring> files;
    for (const wchar_t* name :
         {L"ole2nls.dll", L"gdi.exe", L"krnl386.exe", L"shell.dll", L"user.exe"})
        files.push_back(std::wstring(system) + L"\\" + name);
    return files;
}

} // namespace calvorn::test
