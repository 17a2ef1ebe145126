#include "ui/form_builder.h"

#include "ui/command_button.h"
#include "ui/message_loop.h"
#include "ui/picture_art.h"
#include "ui/procedure_guard.h"
#include "ui/system_colours.h"
#include "ui/window.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>
#include <utility>

namespace calvorn::ui {

namespace {

constexpr const wchar_t* kPageClass = L"Calvorn.TabPage";
// The Command buttons take the face of their container's font.
constexpr const wchar_t* kAmbientFace = L"Arial";

LRESULT PageMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
        return ::SendMessageW(::GetParent(hwnd), msg, wp, lp);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        // Labels, frames and check boxes on the page's face, in the text
        // colour the scheme gives that face (the default is the window
        // text's, which a scheme may make unreadable on it).
        HDC dc = reinterpret_cast<HDC>(wp);
        ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
        ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    default:
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
}

LRESULT CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return Guarded(
        kPageClass, msg, [&] { return PageMessage(hwnd, msg, wp, lp); },
        [&] { return ::DefWindowProcW(hwnd, msg, wp, lp); });
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

// The page each block lies on, by following its containers: the window
// itself is -1, "XTab1.2" is page 2, a frame passes its own page on.
std::vector<int> PagesOfBlocks(const std::vector<LayoutBlock>& layout) {
    std::map<std::wstring, int> pageOf{{L"", -1}};
    std::vector<int> pages;
    for (const LayoutBlock& block : layout) {
        auto where = pageOf.find(block.Text(L"Container").value_or(L""));
        int page = where == pageOf.end() ? -2 : where->second;
        pages.push_back(page);
        if (block.kind == L"Frame")
            pageOf[block.name] = page;
        else if (block.kind == L"TabStrip") {
            size_t tabs = SplitTabs(block.Text(L"Tabs").value_or(L"")).size();
            for (size_t i = 0; i < tabs; ++i)
                pageOf[block.name + L"." + std::to_wstring(i)] = static_cast<int>(i);
        }
    }
    return pages;
}

// A control's "ToolTipText" shown when the mouse rests on it.
void AddTip(BuiltForm& form, const BuiltControl& control) {
    auto text = control.block.Text(L"ToolTipText");
    // A grid shows its own tips: they depend on the cell under the mouse.
    if (!text || control.block.kind == L"Grid")
        return;
    if (!form.tooltip)
        form.tooltip =
            ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                              form.source.window, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (!form.tooltip)
        return;
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_IDISHWND;
    ti.hwnd = form.source.window;
    ti.uId = reinterpret_cast<UINT_PTR>(control.hwnd);
    ti.lpszText = const_cast<wchar_t*>(text->c_str());
    ::SendMessageW(form.tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

// The controls whose visual style draws text or parts (scroll bars, boxes)
// in its own light colours whatever the scheme.
bool StyleIgnoresScheme(const LayoutBlock& block) {
    return block.kind == L"Frame" || block.kind == L"CheckBox" || block.kind == L"TabStrip" ||
           block.kind == L"Grid" || block.kind == L"TextBox";
}

void FollowScheme(HWND control, bool plain) {
    // A list of style classes that names none leaves the control without a
    // style (an empty list is ignored by some systems, which then keep the
    // class's own); no list at all gives the class's own back.
    ::SetWindowTheme(control, plain ? L" " : nullptr, plain ? L" " : nullptr);
}

// Where a control lies at the stored window size, in its parent's pixels.
RECT DesignOf(const BuiltForm& form, const LayoutBlock& block, const BuiltForm::Container& in) {
    auto px = [&](long long twips) {
        return TwipsToPixels(static_cast<int>(twips), form.source.dpi);
    };
    const long long left = in.x + block.Number(L"Left", 0);
    const long long top = in.y + block.Number(L"Top", 0);
    return {px(left), px(top), px(left) + px(block.Number(L"Width", 0)),
            px(top) + px(block.Number(L"Height", 0))};
}

// The font a control is given: none for a Command button (it makes its
// own), a size of its own ("FontSize") made for the form's DPI and kept with
// the form, else the form's font for its kind.
HFONT ControlFont(BuiltForm& form, const LayoutBlock& block) {
    if (block.kind == L"Command")
        return nullptr;
    if (block.kind == L"Grid")
        return form.source.fonts.grid;
    if (auto size = block.Number(L"FontSize")) {
        if (platform::UniqueFont own = UiFont(form.source.dpi, L"Arial", static_cast<int>(*size))) {
            const HFONT font = own.get();
            form.ownFonts.push_back(std::move(own));
            return font;
        }
    }
    return form.source.fonts.text;
}

void MakeTabStrip(BuiltForm& form, const LayoutBlock& block, HWND parent, const RECT& r, int id) {
    const int w = r.right - r.left, h = r.bottom - r.top;
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    HWND hwnd = ::CreateWindowExW(0, WC_TABCONTROLW, L"",
                                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS, r.left,
                                  r.top, w, h, parent, IdOf(id), instance, nullptr);
    if (!hwnd)
        return;
    ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(form.source.fonts.text), FALSE);
    std::vector<std::wstring> tabs = SplitTabs(block.Text(L"Tabs").value_or(L""));
    for (size_t i = 0; i < tabs.size(); ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = tabs[i].data();
        TabCtrl_InsertItem(hwnd, static_cast<int>(i), &item);
    }
    if (form.systemColours)
        FollowScheme(hwnd, true);
    RECT page{0, 0, w, h};
    TabCtrl_AdjustRect(hwnd, FALSE, &page);
    RegisterPageClass();
    for (size_t i = 0; i < tabs.size(); ++i) {
        HWND p = ::CreateWindowExW(
            WS_EX_CONTROLPARENT, kPageClass, tabs[i].c_str(), WS_CHILD | WS_CLIPSIBLINGS,
            r.left + page.left, r.top + page.top, page.right - page.left, page.bottom - page.top,
            parent, IdOf(form.source.firstPageId + static_cast<int>(i)), instance, nullptr);
        form.pages.push_back(p);
        form.pageBuilt.push_back(false);
        form.containers[block.name + L"." + std::to_wstring(i)] = {p, static_cast<int>(i), 0, 0};
    }
    form.tabStrip = hwnd;
    form.tabStripDesign = r;
    form.tabFrame = TabStripFrame::Attach(hwnd);
    if (form.tabFrame)
        form.tabFrame->Place(r);
    form.controls.push_back({block, hwnd, -1, r, AnchorsOf(block)});
}

void MakeControl(BuiltForm& form, const LayoutBlock& block, int dx, int dy) {
    const FormSource& src = form.source;
    auto where = form.containers.find(block.Text(L"Container").value_or(L""));
    if (where == form.containers.end())
        return;
    const BuiltForm::Container in = where->second;
    const long long left = in.x + block.Number(L"Left", 0);
    const long long top = in.y + block.Number(L"Top", 0);
    const RECT design = DesignOf(form, block, in);
    const Anchors anchors = AnchorsOf(block);
    const RECT r = Anchored(design, anchors, dx, dy);
    const int x = r.left, y = r.top, w = r.right - r.left, h = r.bottom - r.top;
    const std::wstring caption = block.Text(L"Caption").value_or(L"");
    const int id = src.idOf(block.name);
    const DWORD base = WS_CHILD | WS_VISIBLE;
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    HWND hwnd = nullptr;

    if (block.kind == L"TabStrip") {
        MakeTabStrip(form, block, in.parent, design, id);
        return;
    } else if (block.kind == L"Frame") {
        hwnd = ::CreateWindowExW(0, L"BUTTON", caption.c_str(), base | BS_GROUPBOX, x, y, w, h,
                                 in.parent, IdOf(id), instance, nullptr);
        form.containers[block.name] = {in.parent, in.page, left, top};
    } else if (block.kind == L"CheckBox") {
        hwnd = ::CreateWindowExW(0, L"BUTTON", caption.c_str(), base | WS_TABSTOP | BS_AUTOCHECKBOX,
                                 x, y, w, h, in.parent, IdOf(id), instance, nullptr);
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
        hwnd = CreateCommand(in.parent, id, caption.empty() ? kDefaultButtonCaption : caption, x, y,
                             w, h);
        if (CommandButton* button = CommandButton::From(hwnd)) {
            button->ReadProperties(block, kAmbientFace);
            button->AccessibleName(block.Text(L"AccessibleName").value_or(L""));
        }
    } else if (block.kind == L"Grid") {
        hwnd = src.makeGrid(block, in.parent, id);
        if (hwnd) {
            // Its frame lies above it among the siblings: a grid that
            // clipped its siblings would not be painted at all.
            LONG_PTR style = ::GetWindowLongPtrW(hwnd, GWL_STYLE);
            ::SetWindowLongPtrW(hwnd, GWL_STYLE, style & ~WS_CLIPSIBLINGS);
            ::MoveWindow(hwnd, x, y, w, h, FALSE);
        }
    } else if (block.kind == L"Picture" || block.kind == L"Image") {
        // SS_NOTIFY: clicks for the pictures, the mouse for every tooltip.
        hwnd = ::CreateWindowExW(0, L"STATIC", L"", base | SS_BITMAP | SS_NOTIFY, x, y, w, h,
                                 in.parent, IdOf(id), instance, nullptr);
    }
    if (!hwnd)
        return;
    if (form.systemColours && StyleIgnoresScheme(block))
        FollowScheme(hwnd, true);
    if (HFONT font = ControlFont(form, block))
        ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    form.controls.push_back({block, hwnd, in.page, design, anchors});
    if (auto picture = block.Number(L"Picture"))
        ShowPicture(form, hwnd, static_cast<int>(*picture));
    if (form.tipsShown)
        AddTip(form, form.controls.back());
}

} // namespace

Anchors AnchorsOf(const LayoutBlock& block) {
    auto text = block.Text(L"Anchor");
    if (!text)
        return {};
    auto has = [&](wchar_t c) { return text->find(c) != std::wstring::npos; };
    return {has(L'L'), has(L'T'), has(L'R'), has(L'B')};
}

RECT Anchored(const RECT& design, Anchors a, int dx, int dy) {
    auto axis = [](LONG& low, LONG& high, bool toLow, bool toHigh, int delta) {
        if (toLow && toHigh) {
            high += delta; // stretches
        } else if (toHigh) {
            low += delta; // moves with the far edge
            high += delta;
        } else if (!toLow) {
            low += delta / 2;
            high += delta / 2;
        }
    };
    RECT r = design;
    axis(r.left, r.right, a.left, a.right, dx);
    axis(r.top, r.bottom, a.top, a.bottom, dy);
    return r;
}

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

BuiltForm BuildForm(FormSource source, int firstPage) {
    BuiltForm form;
    form.source = std::move(source);
    form.systemColours = DrawWithSystemColours();
    form.containers[L""] = {form.source.window, -1, 0, 0};
    const std::vector<int> pages = PagesOfBlocks(form.source.layout);
    for (size_t i = 0; i < pages.size(); ++i)
        if (pages[i] == -1 && form.source.layout[i].kind != L"Form")
            MakeControl(form, form.source.layout[i], 0, 0);
    // The tab strip lies under its pages.
    if (form.tabStrip)
        ::SetWindowPos(form.tabStrip, HWND_BOTTOM, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    BuildPage(form, firstPage, 0, 0);
    return form;
}

bool BuildPage(BuiltForm& form, int page, int dx, int dy) {
    if (page < 0 || static_cast<size_t>(page) >= form.pages.size() || form.pageBuilt[page])
        return false;
    form.pageBuilt[page] = true;
    const std::vector<int> pages = PagesOfBlocks(form.source.layout);
    for (size_t i = 0; i < pages.size(); ++i)
        if (pages[i] == page)
            MakeControl(form, form.source.layout[i], dx, dy);
    return true;
}

void ShowPicture(BuiltForm& form, HWND control, int number) {
    RECT r{};
    ::GetClientRect(control, &r);
    platform::UniqueBitmap made =
        SizedPicture(number, std::min(r.right, r.bottom), ::GetSysColor(COLOR_BTNFACE));
    if (!made)
        return;
    const HBITMAP picture = made.get();
    form.ownBitmaps.push_back(std::move(made));
    form.shownPictures[control] = number;
    auto old = reinterpret_cast<HBITMAP>(
        ::SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture)));
    // The picture it showed before goes with its owner.
    if (old)
        std::erase_if(form.ownBitmaps,
                      [old](const platform::UniqueBitmap& own) { return own.get() == old; });
    // The control keeps its laid-out size whatever the picture's.
    ::SetWindowPos(control, nullptr, 0, 0, r.right, r.bottom,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void AddTips(BuiltForm& form) {
    if (form.tipsShown)
        return;
    form.tipsShown = true;
    for (const BuiltControl& control : form.controls)
        AddTip(form, control);
    if (form.tooltip)
        RelayMouseMessagesTo(form.tooltip);
}

void ArrangeForm(const BuiltForm& form, int dx, int dy) {
    auto place = [](HWND hwnd, const RECT& r) {
        ::SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                       SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
    };
    RECT strip{};
    for (const BuiltControl& c : form.controls) {
        const RECT r = Anchored(c.design, c.anchors, dx, dy);
        if (c.hwnd == form.tabStrip)
            strip = r;
        if (c.hwnd == form.tabStrip && form.tabFrame)
            form.tabFrame->Place(r);
        else
            place(c.hwnd, r);
    }
    if (form.tabStrip) {
        RECT page = strip;
        TabCtrl_AdjustRect(form.tabStrip, FALSE, &page);
        for (HWND p : form.pages)
            place(p, page);
    }
}

} // namespace calvorn::ui

namespace calvorn::ui {

void ApplyDpi(BuiltForm& form, UINT dpi, FormFonts fonts) {
    form.source.dpi = dpi;
    form.source.fonts = fonts;
    // The fonts the controls had go once each control has its new one.
    const std::vector<platform::UniqueFont> oldFonts = std::move(form.ownFonts);
    form.ownFonts.clear();
    for (BuiltControl& c : form.controls) {
        auto where = form.containers.find(c.block.Text(L"Container").value_or(L""));
        if (where != form.containers.end())
            c.design = DesignOf(form, c.block, where->second);
        if (c.hwnd == form.tabStrip)
            form.tabStripDesign = c.design;
        if (CommandButton* button = CommandButton::From(c.hwnd))
            button->DisplayChanged();
        else if (c.block.kind != L"Picture" && c.block.kind != L"Image")
            if (HFONT font = ControlFont(form, c.block))
                ::SendMessageW(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
}

void FollowSystemColours(BuiltForm& form) {
    const bool plain = DrawWithSystemColours();
    for (const BuiltControl& c : form.controls) {
        // Common controls keep a copy of the system colours that only this
        // message renews; the top-level window alone is told by the system.
        ::SendMessageW(c.hwnd, WM_SYSCOLORCHANGE, 0, 0);
        if (plain != form.systemColours && StyleIgnoresScheme(c.block))
            FollowScheme(c.hwnd, plain);
        if (CommandButton* button = CommandButton::From(c.hwnd))
            button->DisplayChanged();
    }
    form.systemColours = plain;
    // A strip built without its style draws all its frame itself; with the
    // style back, its frame is cut as at a start with the style.
    if (!plain && form.tabStrip && !form.tabFrame)
        form.tabFrame = TabStripFrame::Attach(form.tabStrip);
    RefreshPictures(form);
}

void RefreshPictures(BuiltForm& form) {
    const std::map<HWND, int> shown = form.shownPictures;
    for (const auto& [control, number] : shown)
        if (::IsWindow(control))
            ShowPicture(form, control, number);
}

} // namespace calvorn::ui
