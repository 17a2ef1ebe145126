// The shield a button shows before an action that asks for the
// administrator's rights: the system's own icon, at the window's DPI.

#include "platform/proc_address.h"
#include "ui/command_button.h"

#include <shellapi.h>

#include <map>

namespace calvorn::ui {

namespace {

using LoadScaledIcon = HRESULT WINAPI(HINSTANCE, PCWSTR, int, int, HICON*);

// The common controls the program's manifest asked for: version 6 has the
// scaled load, the system folder's older copy does not.
LoadScaledIcon* ScaledLoader() {
    HMODULE common = ::GetModuleHandleW(L"comctl32.dll");
    return common ? platform::GetProc<LoadScaledIcon>(common, "LoadIconWithScaleDown") : nullptr;
}

HICON LoadShield(int size) {
    LoadScaledIcon* load = ScaledLoader();
    HICON icon = nullptr;
    // The system's shield by its own name first: Wine's stock-icon table
    // names a plain document for it.
    if (load)
        load(nullptr, IDI_SHIELD, size, size, &icon);
    if (icon)
        return icon;
    using StockInfo = HRESULT WINAPI(SHSTOCKICONID, UINT, SHSTOCKICONINFO*);
    SHSTOCKICONINFO info{};
    info.cbSize = sizeof info;
    auto stock = platform::SystemProc<StockInfo>(L"shell32.dll", "SHGetStockIconInfo");
    if (load && stock && SUCCEEDED(stock(SIID_SHIELD, SHGSI_ICONLOCATION, &info)) &&
        info.iIcon < 0) {
        // The location names a module and a resource number: the icon is
        // read from it at the size asked for, not scaled from another.
        if (HMODULE module = ::LoadLibraryExW(
                info.szPath, nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE)) {
            load(module, MAKEINTRESOURCEW(-info.iIcon), size, size, &icon);
            ::FreeLibrary(module);
        }
    }
    if (!icon)
        icon = static_cast<HICON>(
            ::LoadImageW(nullptr, IDI_SHIELD, IMAGE_ICON, size, size, LR_SHARED));
    return icon;
}

} // namespace

int ShieldSize(UINT dpi) {
    return ::MulDiv(16, static_cast<int>(dpi), 96);
}

void DrawShield(HDC dc, int x, int y, int size) {
    // One icon per size, kept for the program's life: a few at most.
    static std::map<int, HICON> loaded;
    auto found = loaded.find(size);
    if (found == loaded.end())
        found = loaded.emplace(size, LoadShield(size)).first;
    if (found->second)
        ::DrawIconEx(dc, x, y, found->second, size, size, 0, nullptr, DI_NORMAL);
}

} // namespace calvorn::ui
