#pragma once
// The one way logic asks the user something or tells a result. Tests supply a
// fake; the program uses the system's message box.

#include <string>

namespace calvorn::platform {

// Flag values are those of MessageBox (MB_OK 0, MB_YESNO 4, MB_ICONHAND 16,
// MB_ICONQUESTION 32, MB_ICONEXCLAMATION 48, MB_ICONASTERISK 64).
class IMessageBox {
  public:
    virtual ~IMessageBox() = default;
    // An empty title stands for the program's own (see DefaultTitle).
    // Returns the button pressed (IDOK 1, IDYES 6, IDNO 7).
    virtual int Show(const std::wstring& text, const std::wstring& title, unsigned flags) = 0;
};

class SystemMessageBox final : public IMessageBox {
  public:
    int Show(const std::wstring& text, const std::wstring& title, unsigned flags) override;
};

// The process-wide message box: the system one unless a test swaps it.
IMessageBox& Messages();
void SetMessages(IMessageBox* box); // nullptr restores the system one

// The title of a box shown without one: the program's name, set at start-up.
// The system's own default ("Error") would call every such box an error.
void DefaultTitle(std::wstring title);
const std::wstring& DefaultTitle();

} // namespace calvorn::platform
