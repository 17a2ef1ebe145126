#include "app/startup_helpers.h"

#include "platform/path_forms.h"
#include "platform/text.h"
#include "ui/command_button.h"

#include <windows.h>

#include <cwchar>
#include <cwctype>
#include <vector>

namespace calvorn::app {

std::wstring InitAppPath() {
    return platform::FolderWithSeparator(platform::ExecutableFolder());
}

std::wstring BuildAppTitle(const std::wstring& productName, unsigned major, unsigned minor,
                           unsigned revision) {
    return productName + L" v." + std::to_wstring(major) + L"." + std::to_wstring(minor) +
           L"   (build " + std::to_wstring(revision) + L")";
}

std::wstring BuildAppTitle() {
    wchar_t self[MAX_PATH * 4];
    DWORD n = ::GetModuleFileNameW(nullptr, self, static_cast<DWORD>(std::size(self)));
    std::wstring product;
    unsigned major = 0, minor = 0, revision = 0;
    DWORD ignored = 0;
    DWORD size = n ? ::GetFileVersionInfoSizeW(self, &ignored) : 0;
    if (size) {
        std::vector<unsigned char> block(size);
        if (::GetFileVersionInfoW(self, 0, size, block.data())) {
            VS_FIXEDFILEINFO* fixed = nullptr;
            UINT len = 0;
            if (::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &len) &&
                fixed && len >= sizeof(VS_FIXEDFILEINFO)) {
                major = HIWORD(fixed->dwFileVersionMS);
                minor = LOWORD(fixed->dwFileVersionMS);
                revision = LOWORD(fixed->dwFileVersionLS);
            }
            struct Translation {
                WORD language;
                WORD codePage;
            }* translations = nullptr;
            if (::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                                 reinterpret_cast<void**>(&translations), &len) &&
                translations && len >= sizeof(Translation)) {
                wchar_t key[64];
                swprintf(key, std::size(key), L"\\StringFileInfo\\%04x%04x\\ProductName",
                         translations[0].language, translations[0].codePage);
                wchar_t* value = nullptr;
                if (::VerQueryValueW(block.data(), key, reinterpret_cast<void**>(&value), &len) &&
                    value)
                    product.assign(value, len ? len - 1 : 0);
                product = StripNull(product);
            }
        }
    }
    return BuildAppTitle(product, major, minor, revision);
}

bool ToBool(std::wstring_view value) {
    size_t first = value.find_first_not_of(L" \t");
    size_t last = value.find_last_not_of(L" \t");
    if (first == std::wstring_view::npos)
        return false;
    std::wstring text(value.substr(first, last - first + 1));
    std::wstring lower;
    for (wchar_t c : text)
        lower += static_cast<wchar_t>(std::towlower(c));
    if (lower == L"true")
        return true;
    if (lower == L"false")
        return false;
    wchar_t* end = nullptr;
    double number = std::wcstod(text.c_str(), &end);
    if (end == text.c_str() || *end != L'\0')
        return false;
    return number != 0.0;
}

void InitButtons(HWND window, bool initialize, bool enabled) {
    std::vector<HWND> children;
    // Pre-order over the child windows is the window's control order.
    ::EnumChildWindows(
        window,
        [](HWND child, LPARAM lp) WINAPI -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(lp)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&children));
    for (HWND child : children) {
        ui::CommandButton* button = ui::CommandButton::From(child);
        if (!button)
            continue;
        if (initialize)
            button->Initialize();
        else
            button->Enabled(enabled);
    }
}

} // namespace calvorn::app
