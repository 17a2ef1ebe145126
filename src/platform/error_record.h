#pragma once
// The error record: number, source and description of a failure, as the
// error reporter shows it and as the registry accessor keeps its last one.
//
// The program handles failures in two explicit styles:
//  - skip: an expected miss is checked and passed over; the routine goes on
//    and ends with a defined empty value. Nothing is thrown.
//  - throw and report: a failure is thrown as a Failure where the Win32 or
//    COM call fails; the action, section or boundary that catches it turns
//    it into a record with CurrentFailure() and tells the user (error line,
//    box or error row). Nothing caught is dropped unreported.

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

// The record of the exception being handled; call it only inside a catch
// handler. A Failure gives its own record, an exhausted memory "not enough
// memory", any other exception an internal error that says what it was, so
// a programming error is seen rather than lost. Never throws: when even the
// description cannot be built, the number alone is kept.
ErrorRecord CurrentFailure() noexcept;

// The record's number as an HRESULT, for an answer across a COM call: an
// HRESULT stands as it is, a Win32 code is wrapped.
long HResultOf(const ErrorRecord& record) noexcept;

// "tag: error N: description", the error reporter's one format.
std::wstring FormatErrorReport(const std::wstring& tag, const ErrorRecord& record);

} // namespace calvorn::platform
