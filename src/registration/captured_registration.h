#pragma once
// What a component wrote when its registration ran with the registry's
// predefined roots redirected into a scratch key: every key it created (with
// or without values) under the root it meant, in the order read back. This is
// the one model every export format and the registration check are written
// from; it holds no handles and needs no Windows headers.

#include <cstdint>
#include <string>
#include <vector>

namespace calvorn::registration {

// The roots a component can write through; a key written under
// HKEY_CLASSES_ROOT stays there (it is not folded into HKLM\Software\Classes),
// as the component asked for it.
enum class CapturedRoot : std::uint8_t { ClassesRoot, LocalMachine, CurrentUser, Users };

// The registry's value types by their platform numbers (REG_SZ is 1 ...), so
// that a type the writers do not know is still carried, with its number.
enum class CapturedType : std::uint32_t {
    None = 0,
    String = 1,         // REG_SZ
    ExpandString = 2,   // REG_EXPAND_SZ
    Binary = 3,         // REG_BINARY
    Dword = 4,          // REG_DWORD
    DwordBigEndian = 5, // REG_DWORD_BIG_ENDIAN
    Link = 6,           // REG_LINK
    MultiString = 7,    // REG_MULTI_SZ
    Qword = 11,         // REG_QWORD
};

struct CapturedValue {
    std::wstring name; // empty: the key's default value
    CapturedType type = CapturedType::String;
    std::vector<std::uint8_t> data; // the bytes as stored, little-endian UTF-16 for strings
    bool operator==(const CapturedValue&) const = default;
};

struct CapturedKey {
    CapturedRoot root = CapturedRoot::ClassesRoot;
    std::wstring path; // below the root, backslash-separated, no leading backslash
    std::vector<CapturedValue> values;
    bool operator==(const CapturedKey&) const = default;
};

// The machine a component's code was built for, as the export writes it.
enum class CapturedMachine : std::uint8_t { X86, X64 };

struct CapturedRegistration {
    std::wstring file; // the component's full path, as registration would write it
    CapturedMachine machine = CapturedMachine::X86;
    std::vector<CapturedKey> keys; // parents before children
};

} // namespace calvorn::registration
