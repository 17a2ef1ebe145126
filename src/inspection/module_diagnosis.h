#pragma once
// Why a component cannot be registered, named from its headers: before it is
// loaded when the headers already tell (not a module, a machine or bitness we
// have no part for, a .NET assembly, no entry point), and after a failed load
// by following its imports to the DLL that cannot be found. No platform
// headers: the file system is asked through `IImportSearch`.

#include "inspection/pe_image.h"

#include <optional>
#include <string>
#include <vector>

namespace calvorn::inspection {

enum class ModuleCause {
    NotWindowsModule,
    UnsupportedMachine, // neither x86 nor x64
    MissingPart,        // the registration host of the component's bitness is not there
    DotNetAssembly,
    MissingEntryPoint,
    MissingImport,
};

struct ModuleDiagnosis {
    ModuleCause cause = ModuleCause::NotWindowsModule;
    std::wstring fileName; // the component's, without its folder
    std::wstring detail;   // the machine, the bitness ("64") or the entry point
    std::wstring chain;    // "a.dll -> b.dll -> missing c.dll"
};

// What the loader will refuse, known from the headers alone. `hasPartFor64`
// and `hasPartFor32` tell whether a registration host of that bitness exists.
std::optional<ModuleDiagnosis> DiagnoseBeforeLoad(const std::wstring& path,
                                                  const ModuleFactsResult& module,
                                                  const char* entryPoint, bool hasPartFor32,
                                                  bool hasPartFor64);

// The file system as the loader searches it for one component.
class IImportSearch {
  public:
    virtual ~IImportSearch() = default;
    // The path the loader would take for a DLL name; none when it finds none.
    virtual std::optional<std::wstring> Find(const std::string& dll) = 0;
    // Whether a found DLL is one of the system's own (not followed further).
    virtual bool IsSystemFile(const std::wstring& path) = 0;
    virtual ModuleFactsResult Read(const std::wstring& path) = 0;
};

struct MissingImport {
    std::vector<std::string> via; // the DLLs that lead to it, nearest the component first
    std::string dll;
    bool delayLoaded = false; // the component loads it only when it needs it
};

// The imported DLLs that cannot be found, followed through the DLLs found
// outside the system folders; the loader's failures (direct imports) first.
std::vector<MissingImport> FindMissingImports(const ModuleFacts& facts, IImportSearch& search);

// After a failed load: the first missing DLL that the load needed.
std::optional<ModuleDiagnosis> DiagnoseLoadFailure(const std::wstring& path,
                                                   const ModuleFactsResult& module,
                                                   IImportSearch& search);

// "a.dll -> b.dll -> missing c.dll", the component's own name first.
std::wstring ImportChainText(const std::wstring& fileName, const MissingImport& missing);

std::wstring FileNameOf(const std::wstring& path);

} // namespace calvorn::inspection
