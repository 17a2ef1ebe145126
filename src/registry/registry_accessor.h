#pragma once
// A stateful accessor for the registry: the caller names a place (root,
// key path, value name) and then calls an operation on it. Every operation
// opens and closes its own key handle; no handle outlives a call.
//
// Failures are recorded, not thrown: the operation returns false (a read
// returns Default) and LastError() holds the number, a source of the form
// "<program file name>.cRegistry" and a description that names the place,
// the root written as a signed decimal (HKEY_CLASSES_ROOT is -2147483648).
// A missing key or value is an expected miss: reads and KeyExists never
// record anything. EnumerateSections is the one member that throws.

#include "platform/error_record.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace calvorn::registry {

// Empty, text, 32-bit integer, or bytes: what a value read gives and a write takes.
// A read gives text for REG_SZ, REG_EXPAND_SZ (expanded) and REG_MULTI_SZ
// (items separated by NUL, one NUL after the last), an integer for REG_DWORD
// and REG_DWORD_BIG_ENDIAN, and the exact stored bytes for every other type.
using RegValue =
    std::variant<std::monostate, std::wstring, std::int32_t, std::vector<std::uint8_t>>;

// The text form of a value ("" for empty and for bytes, decimal for integers).
std::wstring ValueAsText(const RegValue& value);

constexpr std::int32_t kHKeyClassesRoot = static_cast<std::int32_t>(0x80000000u);
constexpr std::int32_t kHKeyCurrentUser = static_cast<std::int32_t>(0x80000001u);
constexpr std::int32_t kHKeyLocalMachine = static_cast<std::int32_t>(0x80000002u);

// Error numbers of the record.
constexpr std::int32_t kErrRegistry = 26001;
constexpr std::int32_t kErrValueNotWritten = static_cast<std::int32_t>(0x800469A9u);
constexpr std::int32_t kErrListing = static_cast<std::int32_t>(0x800469AAu);

class RegistryAccessor {
  public:
    // True when the key opens for reading.
    bool KeyExists();
    // True when the key exists or was created, with any missing keys above it.
    bool CreateKey();
    // Deletes a key that has no subkeys; a key with subkeys stays (false).
    bool DeleteKey();
    bool DeleteValue();

    // The value ValueKey of the key, or Default when the key or the value is
    // missing. A successful read sets ValueType to the stored type.
    //  - text types lose their terminating NUL only when they have one;
    //  - a DWORD whose stored data is not 4 bytes reads from its first 4
    //    bytes (shorter data is padded with zero bytes);
    //  - REG_DWORD_BIG_ENDIAN is returned in the machine's byte order.
    RegValue Value();
    // Writes by ValueType, which the write never changes:
    //  - REG_SZ / REG_EXPAND_SZ: the value as text; stored as REG_EXPAND_SZ
    //    exactly when two "%" enclose at least one character, else REG_SZ;
    //  - REG_BINARY: every byte of a byte array (anything else: error 26001
    //    without source or description);
    //  - REG_DWORD / REG_DWORD_BIG_ENDIAN: an integer, stored as REG_DWORD
    //    little-endian (anything else: error 26001 with the usual description);
    //  - any other type: error 0x800469A9.
    // A write that cannot be made creates no key.
    void Value(const RegValue& vValue);

    // The value names (EnumerateValues) or subkey names (EnumerateSections)
    // of the key, in the registry's enumeration order. The lists are 1-based
    // in the design; here item n is at index n - 1 of the vector, and the
    // count equals the vector's size. A key that does not open gives an
    // empty list; both return true.
    bool EnumerateValues(std::vector<std::wstring>& sKeyNames, std::int32_t& iKeyCount);
    // The one member that passes a failure on: a listing that breaks off for
    // any reason other than its end throws platform::Failure (0x800469AA,
    // the description of what went wrong).
    bool EnumerateSections(std::vector<std::wstring>& sSect, std::int32_t& iSectCount);

    // The Explorer verbs of a file type (".dll": "Register", "UnRegister",
    // "Calvorn" under its ProgID) or of "Folder" (any letter case: "ActiveX
    // Report"), all under HKEY_CLASSES_ROOT. Commands are REG_SZ and quote the
    // program path: "C:\path\calvorn.exe" -r "%1". A verb is ours when its
    // command starts calvorn.exe or calvorn64.exe with our switch; another
    // program's verb of the same name is never replaced or removed.
    // Both return what could not be done, one sentence each, naming the
    // association: a file type without a ProgID (which gets no verbs and
    // records an error), another program's verb left in place, a write or
    // delete the registry refused. Removal deletes from the deepest key up and
    // leaves the "shell" key in place.
    std::vector<std::wstring> CreateShellAssociation(std::wstring sExePath,
                                                     std::wstring sAssociation);
    std::vector<std::wstring> RemoveShellAssociation(std::wstring sExePath,
                                                     std::wstring sAssociation);
    // Whether a verb of ours is there for the association; records nothing.
    bool ShellAssociationInstalled(const std::wstring& sAssociation);
    // The ProgID a file type names in HKEY_CLASSES_ROOT, empty when it names
    // none (then it gets no verbs); records nothing.
    std::wstring FileTypeProgId(const std::wstring& fileType);

    std::int32_t ValueType() const { return valueType_; }
    void ValueType(std::int32_t eValueType) { valueType_ = eValueType; }
    std::int32_t ClassKey() const { return classKey_; }
    void ClassKey(std::int32_t eKey) { classKey_ = eKey; }
    const std::wstring& SectionKey() const { return sectionKey_; }
    void SectionKey(std::wstring sSectionKey) { sectionKey_ = std::move(sSectionKey); }
    const std::wstring& ValueKey() const { return valueKey_; }
    void ValueKey(std::wstring sValueKey) { valueKey_ = std::move(sValueKey); }
    const RegValue& Default() const { return default_; }
    void Default(RegValue vDefault) { default_ = std::move(vDefault); }

    // The error record of the last failure an operation recorded.
    const platform::ErrorRecord& LastError() const { return lastError_; }
    void ClearError() {
        lastError_ = {};
        writeDenied_ = false;
    }
    // A write since the last ClearError was refused for want of rights
    // (the record's numbers are the historical ones, not the system's).
    bool WriteDenied() const { return writeDenied_; }

  private:
    static std::uint32_t SwapEndian(std::uint32_t value);
    static std::wstring ExpandEnvStr(const std::wstring& text);

    std::optional<RegValue> ReadValue();
    void WriteValue(const RegValue& vValue, std::int32_t type, bool chooseExpand);
    enum class VerbOwner { None, Ours, Other };
    std::wstring ProgIdOf(const std::wstring& fileType);
    std::wstring ReadProgId(const std::wstring& fileType);
    std::wstring VerbBase(const std::wstring& association, bool record);
    VerbOwner OwnerOfVerb(const std::wstring& verbKey, const std::wstring& arguments,
                          std::wstring& command);
    void WriteCommand(const std::wstring& key, const std::wstring& command);
    void DeleteSection(const std::wstring& key);
    void Record(std::int32_t number, std::wstring description);
    std::wstring RootAndSection() const;

    std::int32_t classKey_ = 0;
    std::wstring sectionKey_;
    std::wstring valueKey_;
    std::int32_t valueType_ = 0;
    RegValue default_;
    platform::ErrorRecord lastError_;
    bool writeDenied_ = false;
};

} // namespace calvorn::registry
