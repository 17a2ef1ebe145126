#include "registration/export/export_writer.h"

namespace calvorn::registration {

namespace {

std::string WriteWix4(const std::vector<ExportedFile>& files, const ExportOptions& options) {
    return WriteWixFragment(files, options, ExportFormat::Wxs);
}

std::string WriteWix3(const std::vector<ExportedFile>& files, const ExportOptions& options) {
    return WriteWixFragment(files, options, ExportFormat::Wxs3);
}

} // namespace

ExportWriter WriterFor(ExportFormat format) {
    switch (format) {
    case ExportFormat::Reg:
        return {L".reg", L"reg", &WriteRegFile};
    case ExportFormat::Json:
        return {L".jsonl", L"json", &WriteJsonLines};
    case ExportFormat::Wxs:
        return {L".wxs", L"wxs", &WriteWix4};
    case ExportFormat::Wxs3:
        return {L".wxs", L"wxs3", &WriteWix3};
    case ExportFormat::Manifest:
        return {L".manifest", L"manifest", &WriteAssemblyManifest};
    }
    return {L".reg", L"reg", &WriteRegFile};
}

} // namespace calvorn::registration
