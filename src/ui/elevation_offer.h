#pragma once
// The question after an action was refused for want of rights: run it again
// as administrator, register for this user only, or leave it.

#include <windows.h>

#include <string>

namespace calvorn::ui {

enum class OfferChoice { AsAdministrator, ForMeOnly, Close };

// The command ids of the offer's choices, also those a script presses.
inline constexpr int kOfferAsAdministrator = 101;
inline constexpr int kOfferForMeOnly = 102;

struct ElevationOffer {
    std::wstring title;
    std::wstring heading;   // what failed
    std::wstring detail;    // the code and its words
    bool forMeOnly = false; // a registration: "Register for me only" is offered
};

// A task dialog with command links where the common controls have it, else
// a message box whose buttons are explained in its text.
OfferChoice AskToElevate(HWND owner, const ElevationOffer& offer);

} // namespace calvorn::ui
