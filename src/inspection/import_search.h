#pragma once
// The loader's search for a component's DLLs on this machine: the
// component's own folder first, then the system folder of its bitness, the
// Windows folder and the folders on PATH. A 32-bit program looks at the real
// system folder for a 64-bit component.

#include "inspection/module_diagnosis.h"

#include <string>
#include <vector>

namespace calvorn::inspection {

class LoaderImportSearch final : public IImportSearch {
  public:
    LoaderImportSearch(const std::wstring& componentPath, bool component64);

    std::optional<std::wstring> Find(const std::string& dll) override;
    bool IsSystemFile(const std::wstring& path) override;
    ModuleFactsResult Read(const std::wstring& path) override;

  private:
    std::vector<std::wstring> folders_;
    std::vector<std::wstring> systemFolders_;
};

} // namespace calvorn::inspection
