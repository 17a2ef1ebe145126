#pragma once
// "Check this computer..." on the Options tab: the machine scan with the
// progress window, its result in the text window, which can save it.

namespace calvorn::app {

void CheckThisComputer();

} // namespace calvorn::app
