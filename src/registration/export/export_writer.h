#pragma once
// The one place a format is mapped to its writer and to the extension of the
// file it is written to, for every front-end that exports.

#include "registration/export/export_formats.h"

#include <string>
#include <string_view>
#include <vector>

namespace calvorn::registration {

using ExportWriteFn = std::string (*)(const std::vector<ExportedFile>&, const ExportOptions&);

struct ExportWriter {
    std::wstring_view extension; // ".reg"
    std::wstring_view name;      // "reg", as "-format" takes it
    // Null while this build has no writer for the format.
    ExportWriteFn write = nullptr;
};

ExportWriter WriterFor(ExportFormat format);

} // namespace calvorn::registration
