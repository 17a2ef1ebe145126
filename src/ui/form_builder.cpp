#include "ui/form_builder.h"

#include "ui/command_button.h"
#include "ui/window.h"

#include <commctrl.h>

#include <map>

namespace calvorn::ui {

namespace {

constexpr const wchar_t* kPageClass = L"Calvorn.TabPage";
// The Command buttons take the face of their container's font.
constexpr const wchar_t* kAmbientFace = L"Arial";

LRESULT CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
        return ::SendMessageW(::GetParent(hwnd), msg, wp, lp);
    default:
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
}

bool RegisterPageClass() {
    static const ATOM atom = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &PageProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kPageClass;
        return ::RegisterClassExW(&wc);
    }();
    return atom != 0;
}

// Where a container's controls go: the window that carries them, the tab
// page, and the container's origin in that window, in twips.
struct Container {
    HWND parent = nullptr;
    int page = -1;
    long long x = 0, y = 0;
};

std::vector<std::wstring> SplitTabs(const std::wstring& text) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    while (true) {
        size_t bar = text.find(L'|', start);
        parts.push_back(text.substr(start, bar - start));
        if (bar == std::wstring::npos)
            break;
        start = bar + 1;
    }
    return parts;
}

HMENU IdOf(int id) {
    return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
}

} // namespace

const BuiltControl* BuiltForm::Find(std::wstring_view name) const {
    for (const BuiltControl& c : controls)
        if (c.block.name == name)
            return &c;
    return nullptr;
}

HWND BuiltForm::Hwnd(std::wstring_view name) const {
    const BuiltControl* c = Find(name);
    return c ? c->hwnd : nullptr;
}

SIZE StoredClientTwips(const std::vector<LayoutBlock>& layout, SIZE fallback) {
    for (const LayoutBlock& block : layout) {
        if (block.kind == L"Form") {
            fallback.cx = static_cast<LONG>(block.Number(L"ClientWidth", fallback.cx));
            fallback.cy = static_cast<LONG>(block.Number(L"ClientHeight", fallback.cy));
        }
    }
    return fallback;
}

BuiltForm BuildForm(HWND window, UINT dpi, const std::vector<LayoutBlock>& layout,
                    const FormFonts& fonts, const std::function<int(const std::wstring&)>& idOf,
                    int firstPageId, const GridFactory& makeGrid) {
    BuiltForm form;
    std::map<std::wstring, Container> containers;
    containers[L""] = {window, -1, 0, 0};
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    auto px = [dpi](long long twips) { return TwipsToPixels(static_cast<int>(twips), dpi); };

    for (const LayoutBlock& block : layout) {
        if (block.kind == L"Form")
            continue;
        auto where = containers.find(block.Text(L"Container").value_or(L""));
        if (where == containers.end())
            continue;
        const Container& in = where->second;
        const long long left = in.x + block.Number(L"Left", 0);
        const long long top = in.y + block.Number(L"Top", 0);
        const int x = px(left), y = px(top);
        const int w = px(block.Number(L"Width", 0)), h = px(block.Number(L"Height", 0));
        const std::wstring caption = block.Text(L"Caption").value_or(L"");
        const int id = idOf(block.name);
        const DWORD base = WS_CHILD | WS_VISIBLE;
        HWND hwnd = nullptr;
        HFONT font = fonts.text;

        if (block.kind == L"TabStrip") {
            hwnd = ::CreateWindowExW(0, WC_TABCONTROLW, L"", base | WS_TABSTOP | WS_CLIPSIBLINGS, x,
                                     y, w, h, in.parent, IdOf(id), instance, nullptr);
            if (!hwnd)
                continue;
            ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
            std::vector<std::wstring> tabs = SplitTabs(block.Text(L"Tabs").value_or(L""));
            for (size_t i = 0; i < tabs.size(); ++i) {
                TCITEMW item{};
                item.mask = TCIF_TEXT;
                item.pszText = tabs[i].data();
                TabCtrl_InsertItem(hwnd, static_cast<int>(i), &item);
            }
            RECT page{0, 0, w, h};
            TabCtrl_AdjustRect(hwnd, FALSE, &page);
            RegisterPageClass();
            for (size_t i = 0; i < tabs.size(); ++i) {
                HWND p = ::CreateWindowExW(
                    WS_EX_CONTROLPARENT, kPageClass, tabs[i].c_str(),
                    WS_CHILD | WS_CLIPSIBLINGS | (i == 0 ? WS_VISIBLE : 0), x + page.left,
                    y + page.top, page.right - page.left, page.bottom - page.top, in.parent,
                    IdOf(firstPageId + static_cast<int>(i)), instance, nullptr);
                form.pages.push_back(p);
                containers[block.name + L"." + std::to_wstring(i)] = {p, static_cast<int>(i), 0, 0};
            }
            form.tabStrip = hwnd;
        } else if (block.kind == L"Frame") {
            hwnd = ::CreateWindowExW(0, L"BUTTON", caption.c_str(), base | BS_GROUPBOX, x, y, w, h,
                                     in.parent, IdOf(id), instance, nullptr);
            containers[block.name] = {in.parent, in.page, left, top};
        } else if (block.kind == L"Label") {
            hwnd = ::CreateWindowExW(0, L"STATIC", caption.c_str(), base | SS_LEFT, x, y, w, h,
                                     in.parent, IdOf(id), instance, nullptr);
        } else if (block.kind == L"TextBox") {
            DWORD style = base | WS_TABSTOP;
            if (block.Number(L"MultiLine", 0) != 0)
                style |= ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL;
            else
                style |= ES_AUTOHSCROLL;
            if (block.Number(L"Locked", 0) != 0)
                style |= ES_READONLY;
            hwnd = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", style, x, y, w, h, in.parent,
                                     IdOf(id), instance, nullptr);
        } else if (block.kind == L"Command") {
            hwnd = CreateCommand(in.parent, id, caption.empty() ? kDefaultButtonCaption : caption,
                                 x, y, w, h);
            if (CommandButton* button = CommandButton::From(hwnd))
                button->ReadProperties(block, kAmbientFace);
            font = nullptr;
        } else if (block.kind == L"Grid") {
            hwnd = makeGrid(block, in.parent, id);
            if (hwnd) {
                // Its frame lies above it among the siblings: a grid that
                // clipped its siblings would not be painted at all.
                LONG_PTR style = ::GetWindowLongPtrW(hwnd, GWL_STYLE);
                ::SetWindowLongPtrW(hwnd, GWL_STYLE, style & ~WS_CLIPSIBLINGS);
                ::MoveWindow(hwnd, x, y, w, h, FALSE);
            }
            font = fonts.grid;
        } else if (block.kind == L"Picture" || block.kind == L"Image") {
            DWORD style = base | SS_BITMAP | SS_REALSIZECONTROL;
            if (block.kind == L"Picture")
                style |= SS_NOTIFY;
            hwnd = ::CreateWindowExW(0, L"STATIC", L"", style, x, y, w, h, in.parent, IdOf(id),
                                     instance, nullptr);
            int picture = static_cast<int>(block.Number(L"Picture", 0));
            if (hwnd && picture) {
                HANDLE image = ::LoadImageW(instance, MAKEINTRESOURCEW(picture), IMAGE_BITMAP, 0, 0,
                                            LR_DEFAULTCOLOR);
                ::SendMessageW(hwnd, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(image));
                ::MoveWindow(hwnd, x, y, w, h, FALSE);
            }
        }
        if (!hwnd)
            continue;
        if (auto size = block.Number(L"FontSize"); size && font == fonts.text) {
            if (HFONT own = UiFont(dpi, L"Arial", static_cast<int>(*size))) {
                form.ownFonts.push_back(own);
                font = own;
            }
        }
        if (font)
            ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        form.controls.push_back({block, hwnd, in.page});
    }

    // The tab strip lies under its pages.
    if (form.tabStrip)
        ::SetWindowPos(form.tabStrip, HWND_BOTTOM, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    return form;
}

} // namespace calvorn::ui
