#pragma once
// The window's "Export...": one component exported through the same engine
// and writers as "-q -e", its outcome told in a message box as a
// registration's is.

#include "registration/export/export_formats.h"
#include "registration/registration_prompter.h"

#include <string>

namespace calvorn::app {

void ExportFromWindow(registration::RegistrationPrompter& prompter, const std::wstring& file,
                      registration::ExportFormat format, const std::wstring& out);

} // namespace calvorn::app
