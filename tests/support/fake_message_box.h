#pragma once
// A message box that records what it was asked and answers from a script.

#include "platform/message_box.h"

#include <deque>
#include <string>
#include <vector>

namespace calvorn::test {

struct ShownMessage {
    std::wstring text;
    std::wstring title;
    unsigned flags = 0;
};

class FakeMessageBox final : public platform::IMessageBox {
  public:
    int Show(const std::wstring& text, const std::wstring& title, unsigned flags) override {
        shown.push_back({text, title, flags});
        if (answers.empty())
            return 1; // IDOK
        int answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::vector<ShownMessage> shown;
    std::deque<int> answers;
};

// Installs a fake as the process-wide message box for one scope.
class ScopedMessages {
  public:
    explicit ScopedMessages(platform::IMessageBox& box) { platform::SetMessages(&box); }
    ~ScopedMessages() { platform::SetMessages(nullptr); }
    ScopedMessages(const ScopedMessages&) = delete;
    ScopedMessages& operator=(const ScopedMessages&) = delete;
};

} // namespace calvorn::test
