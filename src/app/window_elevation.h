#pragma once
// What the window and the switch actions do when the machine refuses an
// action for want of rights: the offer to run it again as administrator (or
// for this user only), and the second run's outcome told.

#include <optional>
#include <string>

namespace calvorn::registration {
class RegistrationPrompter;
}

namespace calvorn::app {

// Has the prompter offer elevation after a machine-wide registration was
// refused; nothing changes in a program that already has the rights.
void OfferElevationOnRefusal(registration::RegistrationPrompter& prompter);

// The exit code of the run as administrator that the offer started for the
// last refused registration; empty when none ran to its end.
std::optional<unsigned long> ElevatedRunExitCode();

// Enable of the Explorer verbs was refused: the offer in place of
// `message`. False, and nothing shown, in a program that has the rights.
bool OfferElevatedVerbs(const std::wstring& message);

} // namespace calvorn::app
