// The comparison of two files: their type libraries' identities as the
// component report has them, and the facts the inventory reads of each file
// side by side, the rows that differ marked.

#include "inspection/component_inspector.h"
#include "inspection/typelib_info.h"

#include <algorithm>
#include <optional>

namespace calvorn::inspection {

void ComponentInspector::WriteComparison(const std::wstring& firstFile,
                                         const std::wstring& secondFile) {
    IReportPresenter& g = *gridComp_;
    const ComparedFile first = readFile_(firstFile);
    const ComparedFile second = readFile_(secondFile);
    for (const auto& [path, file] :
         {std::pair{&firstFilename_, &first}, {&secondFilename_, &second}})
        if (!file->error.empty()) {
            g.ShowMsg(L"The file \"" + *path + L"\" cannot be read: " + file->error);
            return;
        }
    // Identical means the same bytes: a digest over all of them, and as many.
    const bool identical =
        !first.sha256.empty() && first.sha256 == second.sha256 && first.size == second.size;

    g.AddRow(L"Comparison Result", L"", true);
    g.AddRow(identical ? L"These files are Identical." : L"The Files Are Diferent!", L"", false);
    // Each heading names the file it sums up.
    const auto summaryRows = [this, &g](const wchar_t* heading, const std::wstring& path) {
        g.AddRow(heading, path, true);
        const std::optional<TypeLibInfo> lib = TypeLibInfo::Open(path);
        if (!lib) {
            g.AddRow(L"This file has no type library.", L"", false);
            return;
        }
        const Summary s = Summarize(*lib);
        g.AddRow(L"TypeLib Name:", s.nameText, false);
        g.AddRow(L"GUID:", s.guid, false);
        g.AddRow(L"Version:", s.versionText, false);
        g.AddRow(L"Target Platform:", s.platform, false);
        g.AddRow(L"Registered", s.registered ? L"Yes" : L"No", false);
        if (s.registered)
            g.AddRow(L"Registered Path:", s.registeredPath, false);
    };
    summaryRows(L"First File TypeLib Info", firstFilename_);
    summaryRows(L"Second File TypeLib Info", secondFilename_);

    g.AddRow(L"File Comparison", L"", true);
    g.AddComparedRow(L"File:", firstFilename_, secondFilename_, false);
    // One reader gave both lists: the same labels in the same order.
    const std::size_t count = std::min(first.facts.size(), second.facts.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::wstring& a = first.facts[i].second;
        const std::wstring& b = second.facts[i].second;
        g.AddComparedRow(first.facts[i].first, a, b, a != b);
    }
}

} // namespace calvorn::inspection
