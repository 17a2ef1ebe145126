// Creating and then removing every verb set leaves HKEY_CLASSES_ROOT as it
// was, apart from the "shell" keys that removal keeps by design.

#include "classes_scope.h"

#include "registry/registry_accessor.h"

#include <gtest/gtest.h>

using namespace calvorn::test;
using calvorn::registry::RegistryAccessor;

namespace {

TEST(VerbRoundTrip, CreateThenRemoveLeavesOnlyTheShellKeys) {
    // A bare prefix lacks the usual ProgIDs of ".dll" and ".exe".
    ScopedFileType dll(L".dll", L"dllfile");
    ScopedFileType exe(L".exe", L"exefile");
    const bool ocxHasProgId = ClassesValue(L".ocx").has_value();
    const std::wstring program = L"C:\\Program Files\\Calvorn\\calvorn.exe";
    const std::wstring quoted = L"\"" + program + L"\"";
    const std::vector<std::wstring> associations{L".dll", L".exe", L".ocx", L"Folder"};

    const RegistryDump before = Dump(HKEY_CLASSES_ROOT);
    ASSERT_GT(before.size(), 100u);

    RegistryAccessor reg;
    for (const std::wstring& a : associations)
        reg.CreateShellAssociation(program, a);
    for (const std::wstring* progId : {&dll.ProgId(), &exe.ProgId()}) {
        ExpectFileTypeVerbs(*progId, quoted);
    }
    EXPECT_EQ(ClassesValue(L"Folder\\shell\\ActiveX Report\\command"),
              SzValue(quoted + L" -f \"%1\""));

    const RegistryDump created = Dump(HKEY_CLASSES_ROOT);
    for (const std::wstring& a : associations)
        reg.RemoveShellAssociation(program, a);
    const RegistryDump after = Dump(HKEY_CLASSES_ROOT);

    // The verbs were really there in between, and removal took every one.
    std::vector<std::wstring> verbKeys{L"Folder\\shell\\ActiveX Report",
                                       L"Folder\\shell\\ActiveX Report\\command"};
    for (const std::wstring* progId : {&dll.ProgId(), &exe.ProgId()})
        for (const wchar_t* verb : {L"Register", L"UnRegister", L"Calvorn"}) {
            verbKeys.push_back(*progId + L"\\shell\\" + verb);
            verbKeys.push_back(*progId + L"\\shell\\" + verb + L"\\command");
        }
    for (const std::wstring& key : verbKeys) {
        EXPECT_EQ(created.count(Lower(key)), 1u) << std::string(key.begin(), key.end());
        EXPECT_EQ(after.count(Lower(key)), 0u) << std::string(key.begin(), key.end());
    }
    if (!ocxHasProgId) {
        EXPECT_EQ(created.size(), after.size() + verbKeys.size());
    }

    // Keys that appeared: only empty "shell" keys of the ProgIDs and "Folder".
    std::set<std::wstring> allowed{Lower(dll.ProgId() + L"\\shell"),
                                   Lower(exe.ProgId() + L"\\shell"), L"folder\\shell"};
    for (const auto& [path, values] : after) {
        auto old = before.find(path);
        if (old == before.end()) {
            EXPECT_TRUE(allowed.count(path)) << "new key " << std::string(path.begin(), path.end());
            EXPECT_TRUE(values.empty());
        } else {
            EXPECT_TRUE(values == old->second)
                << "values changed under " << std::string(path.begin(), path.end());
        }
    }
    for (const auto& [path, values] : before)
        EXPECT_EQ(after.count(path), 1u) << "lost key " << std::string(path.begin(), path.end());

    // Without a ProgID ".ocx" got nothing, and nothing landed under the root.
    if (!ocxHasProgId) {
        EXPECT_FALSE(ClassesKeyThere(L".ocx"));
        EXPECT_FALSE(ClassesKeyThere(L"shell"));
    }

    // Leave the prefix as the test found it.
    for (const std::wstring& shell : allowed)
        if (!before.count(shell))
            ::RegDeleteKeyW(HKEY_CLASSES_ROOT, shell.c_str());
}

} // namespace
