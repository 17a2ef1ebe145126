#pragma once
// Where the quiet mode writes: standard output and standard error when the
// caller redirected them, else the console of the process that started us.

#include <string>
#include <string_view>

namespace calvorn::app {

class IQuietOutput {
  public:
    virtual ~IQuietOutput() = default;
    // One log line (its line end is added); failures go to standard error,
    // and every line once standard output is reserved for data.
    virtual void Line(const std::wstring& text, bool failure) = 0;
    // A report written to standard output, as UTF-8 bytes. ERROR_SUCCESS, or
    // the system's code of why not (ERROR_INVALID_HANDLE when there is no
    // standard output to take it).
    virtual unsigned long Data(std::string_view utf8) = 0;
    // From now on standard output holds the data alone ("-out -"): a pipe
    // reader gets a file it can parse, with no log line in it.
    virtual void ReserveStandardOutput() {}
};

// A GUI-subsystem program gets no console of its own: a handle the parent
// passed is used as it is, otherwise the parent's console is attached. Pipes
// and files get UTF-8; a console gets the text through the wide call, so
// every character shows.
class ConsoleOutput final : public IQuietOutput {
  public:
    ConsoleOutput();
    void Line(const std::wstring& text, bool failure) override;
    unsigned long Data(std::string_view utf8) override;
    void ReserveStandardOutput() override { dataOnly_ = true; }

  private:
    void* out_ = nullptr;
    void* err_ = nullptr;
    bool dataOnly_ = false;
};

} // namespace calvorn::app
