#pragma once
// A stateful accessor for the registry: the caller names a place (root,
// key path, value name) and then calls an operation on it. Every operation
// opens and closes its own key handle.

#include "platform/error_record.h"

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace calvorn::registry {

// Empty, text, 32-bit integer, or bytes: what a value read gives and a write takes.
using RegValue =
    std::variant<std::monostate, std::wstring, std::int32_t, std::vector<std::uint8_t>>;

// The text form of a value ("" for empty, decimal for integers).
std::wstring ValueAsText(const RegValue& value);

constexpr std::int32_t kHKeyClassesRoot = static_cast<std::int32_t>(0x80000000u);
constexpr std::int32_t kHKeyCurrentUser = static_cast<std::int32_t>(0x80000001u);

class clsRegistry {
  public:
    bool KeyExists();
    bool CreateKey();
    bool DeleteKey();
    bool DeleteValue();
    RegValue Value();
    void Value(const RegValue& vValue);
    bool EnumerateValues(std::vector<std::wstring>& sKeyNames, std::int32_t& iKeyCount);
    // The one member that passes a failure on (platform::Failure, 0x800469AA).
    bool EnumerateSections(std::vector<std::wstring>& sSect, std::int32_t& iSectCount);
    void CreateShellAssociation(std::wstring sExePath, std::wstring sAssociation);
    void RemoveShellAssociation(std::wstring sExePath, std::wstring sAssociation);

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
    void ClearError() { lastError_ = {}; }

  private:
    std::int32_t classKey_ = 0;
    std::wstring sectionKey_;
    std::wstring valueKey_;
    std::int32_t valueType_ = 0;
    RegValue default_;
    platform::ErrorRecord lastError_;
};

} // namespace calvorn::registry
