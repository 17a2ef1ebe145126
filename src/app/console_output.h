#pragma once
// Where the quiet mode writes: standard output and standard error when the
// caller redirected them, else the console of the process that started us.

#include <string>
#include <string_view>

namespace calvorn::app {

class IQuietOutput {
  public:
    virtual ~IQuietOutput() = default;
    // One log line (its line end is added); failures go to standard error.
    virtual void Line(const std::wstring& text, bool failure) = 0;
    // A report written to standard output, as UTF-8 bytes. False when there
    // is no standard output to take it or the write failed.
    virtual bool Data(std::string_view utf8) = 0;
};

// A GUI-subsystem program gets no console of its own: a handle the parent
// passed is used as it is, otherwise the parent's console is attached. Pipes
// and files get UTF-8; a console gets the text through the wide call, so
// every character shows.
class ConsoleOutput final : public IQuietOutput {
  public:
    ConsoleOutput();
    void Line(const std::wstring& text, bool failure) override;
    bool Data(std::string_view utf8) override;

  private:
    void* out_ = nullptr;
    void* err_ = nullptr;
};

} // namespace calvorn::app
