#include "ui/elevation_offer.h"

#include "platform/message_box.h"
#include "platform/proc_address.h"

#include <commctrl.h>

namespace calvorn::ui {

namespace {

constexpr const wchar_t* kAsAdministrator =
    L"Try again as administrator\nRuns this one action again with the administrator's rights, "
    L"and tells what came of it.";
constexpr const wchar_t* kForMeOnly =
    L"Register for me only\nWrites the component's keys to your own classes: no rights are "
    L"needed, and only your account sees it.";

HRESULT CALLBACK OfferEvents(HWND dialog, UINT notification, WPARAM, LPARAM, LONG_PTR) {
    // The choice that asks for the rights carries the shield, as the system's own do.
    if (notification == TDN_CREATED)
        ::SendMessageW(dialog, TDM_SET_BUTTON_ELEVATION_REQUIRED_STATE, kOfferAsAdministrator,
                       TRUE);
    return S_OK;
}

OfferChoice AskInMessageBox(const ElevationOffer& offer) {
    std::wstring text = offer.heading + L"\r\n" + offer.detail + L"\r\n\r\n";
    if (offer.forMeOnly)
        text += L"Yes: try again as administrator.\r\nNo: register for me only.\r\nCancel: "
                L"leave it as it is.";
    else
        text += L"OK: try again as administrator.\r\nCancel: leave it as it is.";
    const int answer = platform::Messages().Show(
        text, offer.title, (offer.forMeOnly ? MB_YESNOCANCEL : MB_OKCANCEL) | MB_ICONEXCLAMATION);
    if (answer == IDYES || answer == IDOK)
        return OfferChoice::AsAdministrator;
    if (answer == IDNO)
        return OfferChoice::ForMeOnly;
    return OfferChoice::Close;
}

} // namespace

OfferChoice AskToElevate(HWND owner, const ElevationOffer& offer) {
    using TaskDialogFn = HRESULT WINAPI(const TASKDIALOGCONFIG*, int*, int*, BOOL*);
    // Version 6 of the common controls, which the program's manifest asks
    // for, has the task dialog; the older copy does not.
    HMODULE common = ::GetModuleHandleW(L"comctl32.dll");
    TaskDialogFn* taskDialog =
        common ? platform::GetProc<TaskDialogFn>(common, "TaskDialogIndirect") : nullptr;
    if (!taskDialog)
        return AskInMessageBox(offer);
    TASKDIALOG_BUTTON buttons[] = {{kOfferAsAdministrator, kAsAdministrator},
                                   {kOfferForMeOnly, kForMeOnly}};
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof config;
    config.hwndParent = owner;
    config.dwFlags = TDF_USE_COMMAND_LINKS | TDF_ALLOW_DIALOG_CANCELLATION;
    config.dwCommonButtons = TDCBF_CLOSE_BUTTON;
    config.pszWindowTitle = offer.title.c_str();
    config.pszMainIcon = TD_WARNING_ICON;
    config.pszMainInstruction = offer.heading.c_str();
    config.pszContent = offer.detail.c_str();
    config.pButtons = buttons;
    config.cButtons = offer.forMeOnly ? 2 : 1;
    config.nDefaultButton = kOfferAsAdministrator;
    config.pfCallback = OfferEvents;
    int pressed = 0;
    if (FAILED(taskDialog(&config, &pressed, nullptr, nullptr)))
        return AskInMessageBox(offer);
    if (pressed == kOfferAsAdministrator)
        return OfferChoice::AsAdministrator;
    if (pressed == kOfferForMeOnly && offer.forMeOnly)
        return OfferChoice::ForMeOnly;
    return OfferChoice::Close;
}

} // namespace calvorn::ui
