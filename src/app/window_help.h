#pragma once
// The window's help: the About box, and the guide opened at a tab's section.

namespace calvorn::app {

void ShowAbout();
// The guide beside the program at the section of `tab`; where it is missing,
// a message says where it was expected.
void OpenGuide(int tab);

} // namespace calvorn::app
