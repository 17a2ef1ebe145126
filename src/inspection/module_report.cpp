#include "inspection/module_report.h"

#include "inspection/image_file.h"
#include "inspection/import_search.h"

namespace calvorn::inspection {

namespace {

std::wstring Widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

std::wstring MissingText(const MissingImport& missing) {
    std::wstring text;
    for (const std::string& dll : missing.via)
        text += Widen(dll) + L" -> ";
    text += Widen(missing.dll);
    if (missing.delayLoaded)
        text += L" (delay-loaded)";
    return text;
}

} // namespace

std::vector<ModuleRow> ModuleRows(const ModuleFactsResult& module,
                                  const std::vector<MissingImport>& missing) {
    std::vector<ModuleRow> rows;
    if (module.read == ModuleRead::Unreadable)
        return rows;
    rows.push_back({L"Module", L"", true});
    if (module.read == ModuleRead::NotWindowsModule) {
        rows.push_back({L"Machine: ", L"Not a Windows module"});
        return rows;
    }
    const ModuleFacts& f = module.facts;
    rows.push_back({L"Machine: ", MachineName(f) + (f.is64Bit ? L" (64-bit)" : L" (32-bit)")});
    rows.push_back({L"Kind: ", std::wstring(f.isDll ? L"DLL" : L"EXE") +
                                   (f.isDotNet ? L", .NET assembly" : L"")});
    std::wstring entries;
    for (auto [exported, name] : {std::pair{f.exportsRegister, L"DllRegisterServer"},
                                  std::pair{f.exportsUnregister, L"DllUnregisterServer"},
                                  std::pair{f.exportsInstall, L"DllInstall"}})
        if (exported)
            entries += (entries.empty() ? L"" : L", ") + std::wstring(name);
    rows.push_back({L"Entry Points: ", entries.empty() ? L"None" : entries});
    if (missing.empty())
        rows.push_back({L"Missing DLLs: ", L"None"});
    for (const MissingImport& m : missing)
        rows.push_back({L"Missing DLL: ", MissingText(m)});
    return rows;
}

std::vector<ModuleRow> ModuleRowsOf(const std::wstring& path) {
    const ModuleFactsResult module = ReadModuleFactsOf(path);
    std::vector<MissingImport> missing;
    if (module.read == ModuleRead::Read) {
        LoaderImportSearch search(path, module.facts.is64Bit);
        missing = FindMissingImports(module.facts, search);
    }
    return ModuleRows(module, missing);
}

} // namespace calvorn::inspection
