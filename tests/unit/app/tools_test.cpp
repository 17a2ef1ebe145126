#include "app/startup_helpers.h"
#include "platform/error_record.h"
#include "platform/ole_session.h"
#include "platform/text.h"

#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

using namespace calvorn::app;

TEST(ToBool, WordsInAnyCaseAndNumbers) {
    EXPECT_TRUE(ToBool(L"true"));
    EXPECT_TRUE(ToBool(L"TRUE"));
    EXPECT_TRUE(ToBool(L"tRuE"));
    EXPECT_FALSE(ToBool(L"False"));
    EXPECT_TRUE(ToBool(L"1"));
    EXPECT_TRUE(ToBool(L"-2.5"));
    EXPECT_FALSE(ToBool(L"0"));
    EXPECT_FALSE(ToBool(L"yes"));
    EXPECT_FALSE(ToBool(L""));
    EXPECT_FALSE(ToBool(L"1x"));
}

TEST(BuildAppTitle, ThreeSpacesBeforeTheBuild) {
    EXPECT_EQ(BuildAppTitle(L"Calvorn", 1, 2, 22), L"Calvorn v.1.2   (build 22)");
    EXPECT_EQ(BuildAppTitle(L"Calvorn", 1, 2, 0), L"Calvorn v.1.2   (build 0)");
}

TEST(StripNull, CutsAtTheFirstNul) {
    EXPECT_EQ(StripNull(std::wstring(L"ab\0cd", 5)), L"ab");
    EXPECT_EQ(StripNull(L"abc"), L"abc");
}

TEST(ErrorReport, NegativeNumbersKeepTheirSign) {
    calvorn::platform::ErrorRecord record{-2147024894, L"", L"File not found."};
    EXPECT_EQ(calvorn::platform::FormatErrorReport(L"Main", record),
              L"Main: error -2147024894: File not found.");
}

// Whatever a catch-all catches keeps what it was: the Failure's own record,
// memory named, anything else an internal error with its own words.
TEST(ErrorReport, TheCaughtFailureIsNamedWhateverItWas) {
    using calvorn::platform::CurrentFailure;
    using calvorn::platform::ErrorRecord;
    auto caught = [](auto thrower) {
        try {
            thrower();
        } catch (...) {
            return CurrentFailure();
        }
        return ErrorRecord{};
    };
    const ErrorRecord own = caught([] {
        throw calvorn::platform::Failure({5, L"src", L"denied"});
    });
    EXPECT_EQ(own.number, 5);
    EXPECT_EQ(own.description, L"denied");
    EXPECT_EQ(caught([] { throw std::bad_alloc(); }).number, ERROR_NOT_ENOUGH_MEMORY);
    const ErrorRecord other = caught([] { throw std::out_of_range("index 7"); });
    EXPECT_EQ(other.number, ERROR_INTERNAL_ERROR);
    EXPECT_NE(other.description.find(L"(index 7)"), std::wstring::npos);
    EXPECT_EQ(caught([] { throw 42; }).number, ERROR_INTERNAL_ERROR);
    // Across a COM call: an HRESULT as it is, a Win32 code wrapped, never S_OK.
    EXPECT_EQ(calvorn::platform::HResultOf({E_POINTER, L"", L""}), E_POINTER);
    EXPECT_EQ(calvorn::platform::HResultOf({ERROR_NOT_ENOUGH_MEMORY, L"", L""}),
              HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(calvorn::platform::HResultOf({}), E_FAIL);
}

// The thread's OLE is set up once, when first asked, kept as its result,
// and undone only by the owner that set it up.
TEST(OleSession, SetUpOnFirstNeedKeptAndUndoneOnlyWhenItSucceeded) {
    using calvorn::platform::OleSession;
    {
        OleSession owner;
        EXPECT_FALSE(owner.Result().has_value()); // nothing loaded until asked
        const long first = OleSession::Start();
        EXPECT_TRUE(SUCCEEDED(first));
        ASSERT_TRUE(owner.Result().has_value());
        EXPECT_EQ(*owner.Result(), first);
        EXPECT_EQ(OleSession::Start(), first); // one set-up, however often asked
    }
    // The owner undid its set-up: COM is off this thread again, and a
    // thread without an owner is told so instead of silently lacking COM.
    EXPECT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    ::CoUninitialize();
    EXPECT_EQ(OleSession::Start(), CO_E_NOTINITIALIZED);
    // A failed set-up (this thread already in another apartment) is kept
    // and not undone: the apartment that was there stays.
    ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    {
        OleSession owner;
        EXPECT_EQ(OleSession::Start(), RPC_E_CHANGED_MODE);
    }
    // Still in the multithreaded apartment: a second join says S_FALSE.
    EXPECT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    ::CoUninitialize();
    ::CoUninitialize();
}

TEST(SystemTexts, InsertsAreFilledOrTakenOutNeverLeftBehind) {
    using calvorn::platform::FillInserts;
    struct Row {
        const wchar_t* text;
        const wchar_t* insert;
        const wchar_t* expected;
    } rows[] = {
        {L"Bad EXE format for %1.\r\n", L"C:\\a.dll", L"Bad EXE format for C:\\a.dll."},
        {L"Bad EXE format for %1.\r\n", L"", L"Bad EXE format for."},
        {L"%1 is not a valid Win32 application.", L"", L"is not a valid Win32 application."},
        {L"Copy %1!s! to %2 now", L"a.dll", L"Copy a.dll to now"},
        {L"Copy %1 to %2, %3 now", L"", L"Copy to, now"},
        {L"100%% done%.%nNext%0 ignored", L"", L"100% done. Next"},
        {L"Ends in %", L"", L"Ends in %"},
        {L"%12 and %9", L"x", L"and"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(FillInserts(row.text, row.insert), row.expected)
            << calvorn::platform::Narrow(row.text);
}

TEST(SystemTexts, ACodeWithoutSystemWordsIsNamed) {
    using calvorn::platform::HexCode;
    using calvorn::platform::SystemMessage;
    for (long code : {static_cast<long>(0x80040154), static_cast<long>(0x800401F0),
                      static_cast<long>(0x80040201), static_cast<long>(0x80040111),
                      static_cast<long>(0x80004002), static_cast<long>(0x8002801D)}) {
        const std::wstring name(calvorn::platform::CodeName(code));
        ASSERT_FALSE(name.empty()) << code;
        const std::wstring text = HexCode(code);
        if (SystemMessage(static_cast<unsigned long>(code)).empty())
            EXPECT_NE(text.find(L" (" + name + L")"), std::wstring::npos)
                << calvorn::platform::Narrow(text);
        else
            EXPECT_EQ(text.size(), 10u) << calvorn::platform::Narrow(text);
        // An error record is never without a reason.
        EXPECT_FALSE(calvorn::platform::HResultError(code).description.empty());
    }
    EXPECT_EQ(calvorn::platform::CodeName(0x80040154), L"REGDB_E_CLASSNOTREG");
    EXPECT_EQ(calvorn::platform::CodeName(0x12345678), L"");
    EXPECT_EQ(HexCode(0x12345678), L"0x12345678");
    // Where the system words a code, its text stays free of inserts.
    EXPECT_EQ(SystemMessage(ERROR_BAD_EXE_FORMAT, L"C:\\x.dll").find(L"%"), std::wstring::npos);
}
