#include "inspection/module_diagnosis.h"
#include "pe_builder.h"

#include <gtest/gtest.h>

#include <map>

using namespace calvorn::inspection;
using namespace calvorn::test;

namespace {

ModuleFactsResult Facts(const ModuleLayout& layout) {
    const Bytes bytes = BuildModule(layout).bytes;
    FileReader reader = FileReader::OverBytes(ByteSpan(bytes));
    return ReadModuleFacts(reader);
}

const ModuleLayout kServer{.exports = {"DllRegisterServer", "DllUnregisterServer"},
                           .imports = {"KERNEL32.dll"}};

// DLLs by name: present ones with their imports, system ones marked.
class FakeSearch final : public IImportSearch {
  public:
    void Add(const std::string& dll, std::vector<std::string> imports, bool system = false) {
        dlls_[dll] = {std::move(imports), system};
    }
    std::optional<std::wstring> Find(const std::string& dll) override {
        if (!dlls_.count(dll))
            return std::nullopt;
        return std::wstring(dll.begin(), dll.end());
    }
    bool IsSystemFile(const std::wstring& path) override {
        return dlls_.at(std::string(path.begin(), path.end())).second;
    }
    ModuleFactsResult Read(const std::wstring& path) override {
        ++reads;
        return Facts({.imports = dlls_.at(std::string(path.begin(), path.end())).first});
    }
    int reads = 0;

  private:
    std::map<std::string, std::pair<std::vector<std::string>, bool>> dlls_;
};

std::optional<ModuleDiagnosis> Before(const ModuleFactsResult& facts,
                                      const char* entry = "DllRegisterServer", bool has32 = true,
                                      bool has64 = true) {
    return DiagnoseBeforeLoad(L"C:\\dir\\comp.dll", facts, entry, has32, has64);
}

} // namespace

TEST(DiagnoseBeforeLoad, CausesTheHeadersTell) {
    EXPECT_FALSE(Before(Facts(kServer)));
    EXPECT_FALSE(Before(ModuleFactsResult{})); // unreadable: the load will tell

    const auto notModule = Before({ModuleRead::NotWindowsModule, {}});
    ASSERT_TRUE(notModule);
    EXPECT_EQ(notModule->cause, ModuleCause::NotWindowsModule);
    EXPECT_EQ(notModule->fileName, L"comp.dll");

    ModuleLayout arm = kServer;
    arm.machine = 0xAA64;
    arm.pe64 = true;
    EXPECT_EQ(Before(Facts(arm))->detail, L"ARM64");

    ModuleLayout x64 = kServer;
    x64.machine = 0x8664;
    x64.pe64 = true;
    EXPECT_FALSE(Before(Facts(x64)));
    const auto noHost = Before(Facts(x64), "DllRegisterServer", true, false);
    ASSERT_TRUE(noHost);
    EXPECT_EQ(noHost->cause, ModuleCause::MissingPart);
    EXPECT_EQ(noHost->detail, L"64");
    EXPECT_EQ(Before(Facts(kServer), "DllRegisterServer", false, true)->detail, L"32");

    const auto noEntry = Before(Facts({.exports = {"DllRegisterServer"}}), "DllUnregisterServer");
    ASSERT_TRUE(noEntry);
    EXPECT_EQ(noEntry->cause, ModuleCause::MissingEntryPoint);
    EXPECT_EQ(noEntry->detail, L"DllUnregisterServer");
    EXPECT_EQ(Before(Facts({.imports = {"mscoree.dll"}, .clr = true}))->cause,
              ModuleCause::DotNetAssembly);
    // A mixed assembly that exports the entry point is registered as usual.
    EXPECT_FALSE(Before(Facts({.exports = kServer.exports, .clr = true})));
}

TEST(FindMissingImports, ChainsThroughDllsBesideTheComponentOnly) {
    FakeSearch search;
    search.Add("KERNEL32.dll", {}, true);
    search.Add("sys.dll", {"gone_below_system.dll"}, true); // not followed
    search.Add("near.dll", {"KERNEL32.dll", "deeper.dll"});
    search.Add("deeper.dll", {"absent.dll", "near.dll"}); // a loop back
    const auto module = Facts({.exports = kServer.exports,
                               .imports = {"KERNEL32.dll", "sys.dll", "near.dll"},
                               .delayImports = {"lazy.dll"}});
    const auto missing = FindMissingImports(module.facts, search);
    ASSERT_EQ(missing.size(), 2u);
    EXPECT_EQ(ImportChainText(L"comp.dll", missing[0]),
              L"comp.dll -> near.dll -> deeper.dll -> missing absent.dll");
    EXPECT_FALSE(missing[0].delayLoaded);
    EXPECT_EQ(ImportChainText(L"comp.dll", missing[1]), L"comp.dll -> missing lazy.dll");
    EXPECT_TRUE(missing[1].delayLoaded);
    EXPECT_EQ(search.reads, 2);

    const auto diagnosis = DiagnoseLoadFailure(L"C:\\dir\\comp.dll", module, search);
    ASSERT_TRUE(diagnosis);
    EXPECT_EQ(diagnosis->cause, ModuleCause::MissingImport);
    EXPECT_EQ(diagnosis->chain, L"comp.dll -> near.dll -> deeper.dll -> missing absent.dll");
}

TEST(FindMissingImports, ADelayLoadedMissingDllDoesNotExplainAFailedLoad) {
    FakeSearch search;
    const auto module = Facts({.delayImports = {"lazy.dll"}});
    EXPECT_EQ(FindMissingImports(module.facts, search).size(), 1u);
    EXPECT_FALSE(DiagnoseLoadFailure(L"comp.dll", module, search));
    EXPECT_FALSE(DiagnoseLoadFailure(L"comp.dll", {ModuleRead::NotWindowsModule, {}}, search));
}
