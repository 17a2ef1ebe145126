#include "registration/export/export_writer.h"

namespace calvorn::registration {

ExportWriter WriterFor(ExportFormat format) {
    switch (format) {
    case ExportFormat::Reg:
        return {L".reg", L"reg", &WriteRegFile};
    case ExportFormat::Json:
        return {L".jsonl", L"json", &WriteJsonLines};
    case ExportFormat::Wxs:
        return {L".wxs", L"wxs", nullptr};
    case ExportFormat::Wxs3:
        return {L".wxs", L"wxs3", nullptr};
    case ExportFormat::Manifest:
        return {L".manifest", L"manifest", nullptr};
    }
    return {L".reg", L"reg", &WriteRegFile};
}

} // namespace calvorn::registration
