#include "platform/message_box.h"

#include <windows.h>

#include <utility>

namespace calvorn::platform {

int SystemMessageBox::Show(const std::wstring& text, const std::wstring& title, unsigned flags) {
    // Owned by the active window of this thread, so that a box shown over the
    // main window is modal to it; no window yet means no owner.
    HWND owner = ::GetActiveWindow();
    const std::wstring& shown = title.empty() ? DefaultTitle() : title;
    return ::MessageBoxW(owner, text.c_str(), shown.empty() ? nullptr : shown.c_str(), flags);
}

namespace {
SystemMessageBox g_system;
IMessageBox* g_current = &g_system;

std::wstring& TitleStore() {
    static std::wstring title;
    return title;
}
} // namespace

void DefaultTitle(std::wstring title) {
    TitleStore() = std::move(title);
}
const std::wstring& DefaultTitle() {
    return TitleStore();
}

IMessageBox& Messages() {
    return *g_current;
}
void SetMessages(IMessageBox* box) {
    g_current = box ? box : &g_system;
}

} // namespace calvorn::platform
