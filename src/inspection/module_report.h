#pragma once
// The "Module" section of the component report: what the headers tell about
// the file and which DLLs it needs that cannot be found.

#include "inspection/module_diagnosis.h"

#include <string>
#include <vector>

namespace calvorn::inspection {

struct ModuleRow {
    std::wstring label;
    std::wstring value;
    bool heading = false;
};

// No rows when the file cannot be read at all.
std::vector<ModuleRow> ModuleRows(const ModuleFactsResult& module,
                                  const std::vector<MissingImport>& missing);

// The rows for a file on disk, its imports searched as the loader would.
std::vector<ModuleRow> ModuleRowsOf(const std::wstring& path);

} // namespace calvorn::inspection
