#include "inspection/module_diagnosis.h"

#include <algorithm>
#include <set>

namespace calvorn::inspection {

namespace {

// Deeper chains than this are loops the visited set did not catch, or damage.
constexpr std::size_t kMaxDepth = 8;
constexpr std::size_t kMaxFound = 16;

std::wstring Widen(const std::string& text) {
    // DLL names in import tables are ANSI; the names that matter are ASCII.
    return std::wstring(text.begin(), text.end());
}

std::wstring Lower(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) {
        return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
    });
    return text;
}

bool Exports(const ModuleFacts& facts, const std::string& entryPoint) {
    if (entryPoint == "DllRegisterServer")
        return facts.exportsRegister;
    if (entryPoint == "DllUnregisterServer")
        return facts.exportsUnregister;
    return facts.exportsInstall;
}

class MissingWalk {
  public:
    MissingWalk(IImportSearch& search, std::vector<MissingImport>& found)
        : search_(search), found_(found) {}

    void Walk(const ModuleFacts& facts, std::vector<std::string>& via, bool delayed) {
        for (const ModuleImport& import : facts.imports) {
            if (found_.size() >= kMaxFound)
                return;
            // Below the component, a delay-loaded DLL is not the load's concern.
            if (import.delayLoaded && !via.empty())
                continue;
            const bool lazy = delayed || import.delayLoaded;
            auto path = search_.Find(import.dll);
            if (!path) {
                found_.push_back({via, import.dll, lazy});
                continue;
            }
            if (via.size() >= kMaxDepth || search_.IsSystemFile(*path) ||
                !visited_.insert(Lower(*path)).second)
                continue;
            const ModuleFactsResult next = search_.Read(*path);
            if (next.read != ModuleRead::Read)
                continue;
            via.push_back(import.dll);
            Walk(next.facts, via, lazy);
            via.pop_back();
        }
    }

  private:
    IImportSearch& search_;
    std::vector<MissingImport>& found_;
    std::set<std::wstring> visited_;
};

} // namespace

std::wstring FileNameOf(const std::wstring& path) {
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::optional<ModuleDiagnosis> DiagnoseBeforeLoad(const std::wstring& path,
                                                  const ModuleFactsResult& module,
                                                  const char* entryPoint, bool hasPartFor32,
                                                  bool hasPartFor64) {
    ModuleDiagnosis d;
    d.fileName = FileNameOf(path);
    if (module.read == ModuleRead::Unreadable)
        return std::nullopt; // the load will say what it finds
    if (module.read == ModuleRead::NotWindowsModule) {
        d.cause = ModuleCause::NotWindowsModule;
        return d;
    }
    const ModuleFacts& facts = module.facts;
    if (facts.machine != Machine::X86 && facts.machine != Machine::X64) {
        d.cause = ModuleCause::UnsupportedMachine;
        d.detail = MachineName(facts);
        return d;
    }
    if (!Exports(facts, entryPoint)) {
        if (facts.isDotNet) {
            d.cause = ModuleCause::DotNetAssembly;
            return d;
        }
        // A damaged export table may hide the name; the loader then decides.
        if (!facts.damaged) {
            d.cause = ModuleCause::MissingEntryPoint;
            d.detail = Widen(entryPoint);
            return d;
        }
    }
    if (!(facts.is64Bit ? hasPartFor64 : hasPartFor32)) {
        d.cause = ModuleCause::MissingPart;
        d.detail = facts.is64Bit ? L"64" : L"32";
        return d;
    }
    return std::nullopt;
}

std::vector<MissingImport> FindMissingImports(const ModuleFacts& facts, IImportSearch& search) {
    std::vector<MissingImport> found;
    std::vector<std::string> via;
    MissingWalk(search, found).Walk(facts, via, false);
    std::stable_partition(found.begin(), found.end(),
                          [](const MissingImport& m) { return !m.delayLoaded; });
    return found;
}

std::optional<ModuleDiagnosis> DiagnoseLoadFailure(const std::wstring& path,
                                                   const ModuleFactsResult& module,
                                                   IImportSearch& search) {
    if (module.read != ModuleRead::Read)
        return std::nullopt;
    const auto missing = FindMissingImports(module.facts, search);
    if (missing.empty() || missing.front().delayLoaded)
        return std::nullopt;
    ModuleDiagnosis d;
    d.cause = ModuleCause::MissingImport;
    d.fileName = FileNameOf(path);
    d.chain = ImportChainText(d.fileName, missing.front());
    return d;
}

std::wstring ImportChainText(const std::wstring& fileName, const MissingImport& missing) {
    std::wstring text = fileName;
    for (const std::string& dll : missing.via)
        text += L" -> " + Widen(dll);
    return text + L" -> missing " + Widen(missing.dll);
}

} // namespace calvorn::inspection
