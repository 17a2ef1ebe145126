#pragma once
// File types under HKEY_CLASSES_ROOT that exist for the length of a test.

#include "integration/registry/raw_registry.h"

#include <gtest/gtest.h>

#include <sddl.h>

namespace calvorn::test {

inline bool ClassesKeyThere(const std::wstring& key) {
    return KeyThere(HKEY_CLASSES_ROOT, key);
}
inline std::optional<StoredValue> ClassesValue(const std::wstring& key) {
    return ReadRaw(HKEY_CLASSES_ROOT, key);
}

// Makes sure a file type key exists with a ProgID (and the ProgID key), and
// removes again exactly the keys it had to create.
class ScopedFileType {
  public:
    ScopedFileType(const std::wstring& fileType, const std::wstring& progId) {
        if (!ClassesKeyThere(fileType)) {
            WriteRaw(HKEY_CLASSES_ROOT, fileType, L"", SzValue(progId));
            created_.push_back(fileType);
        }
        if (auto v = ClassesValue(fileType); v && v->type == REG_SZ) {
            std::wstring text(v->data.size() / sizeof(wchar_t), L'\0');
            std::memcpy(text.data(), v->data.data(), text.size() * sizeof(wchar_t));
            progId_ = text.c_str(); // up to the terminator
        }
        if (!progId_.empty() && !ClassesKeyThere(progId_)) {
            WriteRaw(HKEY_CLASSES_ROOT, progId_);
            created_.push_back(progId_);
        }
    }
    ~ScopedFileType() {
        for (const std::wstring& key : created_)
            ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    }
    ScopedFileType(const ScopedFileType&) = delete;
    ScopedFileType& operator=(const ScopedFileType&) = delete;

    // The ProgID in effect: the one given, or the one the system already had.
    const std::wstring& ProgId() const { return progId_; }

  private:
    std::vector<std::wstring> created_;
    std::wstring progId_;
};

// The three verbs of a file type, as text commands starting with the quoted program.
inline void ExpectFileTypeVerbs(const std::wstring& progId, const std::wstring& quotedProgram) {
    EXPECT_EQ(ClassesValue(progId + L"\\shell\\Register\\command"),
              SzValue(quotedProgram + L" -r \"%1\""));
    EXPECT_EQ(ClassesValue(progId + L"\\shell\\UnRegister\\command"),
              SzValue(quotedProgram + L" -u \"%1\""));
    EXPECT_EQ(ClassesValue(progId + L"\\shell\\Calvorn\\command"),
              SzValue(quotedProgram + L" \"%1\""));
}

// Sets the access list of a key under HKEY_CLASSES_ROOT from its text form ("D:P(A;;KR;;;WD)":
// everyone may read, nobody may write); the owner may always change it back.
inline bool SetKeyAccess(const std::wstring& key, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                                nullptr))
        return false;
    HKEY opened = nullptr;
    bool set =
        ::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, WRITE_DAC, &opened) == ERROR_SUCCESS;
    if (set) {
        set = ::RegSetKeySecurity(opened, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
        ::RegCloseKey(opened);
    }
    ::LocalFree(descriptor);
    return set;
}

} // namespace calvorn::test
