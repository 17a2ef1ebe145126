#pragma once
// The error record: number, source and description of a failure, as the
// error reporter shows it and as the registry accessor keeps its last one.
//
// The program handles failures in three explicit styles:
//  - skip: a step that fails is checked and passed over; the routine goes on
//    and ends with a defined empty value. Nothing is thrown.
//  - trap and report: a routine with a tag runs its body through Trap();
//    the first Failure thrown inside ends the body and is reported with the
//    tag through the error reporter.
//  - end silently: a handler returns at its first failed step.

#include <cstdint>
#include <exception>
#include <string>

namespace calvorn::platform {

struct ErrorRecord {
    std::int32_t number = 0;
    std::wstring source;
    std::wstring description;

    bool IsSet() const { return number != 0; }
};

// A failure that a trapping routine reports; it never leaves that routine.
class Failure : public std::exception {
  public:
    explicit Failure(ErrorRecord record) : record_(std::move(record)) {}
    const ErrorRecord& Record() const noexcept { return record_; }
    const char* what() const noexcept override { return "calvorn failure"; }

  private:
    ErrorRecord record_;
};

// Builds the record of a Win32 error code (GetLastError style); the
// description is the system's text for it, or the code and its name when
// the system has none.
ErrorRecord Win32Error(unsigned long code, std::wstring source = {});
// Builds the record of a failed HRESULT; the number is the HRESULT itself.
ErrorRecord HResultError(long hr, std::wstring source = {});

// "tag: error N: description", the error reporter's one format.
std::wstring FormatErrorReport(const std::wstring& tag, const ErrorRecord& record);

} // namespace calvorn::platform
