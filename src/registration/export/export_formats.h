#pragma once
// The files an export is written as. Each writer turns the captured
// registrations of one call into the whole output, as bytes ready to be
// written at once, so that a file is written whole or not at all.

#include "registration/captured_registration.h"

#include <array>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace calvorn::registration {

enum class ExportFormat : std::uint8_t { Reg, Wxs, Wxs3, Manifest, Json };

// One exported file: what it wrote, and what the writers need beside it.
struct ExportedFile {
    CapturedRegistration registration;
    // From the file's version resource; 1.0.0.0 when it has none.
    std::array<std::uint16_t, 4> version{1, 0, 0, 0};
    // The outcome in the words of the quiet mode's log ("registered", ...).
    std::string outcome;
    // The file's short (8.3) path, where the platform gives one: a component
    // may write its own path in that form. Empty when there is none.
    std::wstring shortPath;
};

struct ExportOptions {
    // Write what per-user registration would: HKEY_CLASSES_ROOT keys under
    // HKEY_CURRENT_USER\Software\Classes.
    bool perUser = false;
    // The WiX folder the files are installed to.
    std::wstring directoryId = L"INSTALLFOLDER";
    // For Calvorn's own restore, which reads "\r" and "\n" in a quoted value
    // name back as line ends: such names are written so, not refused. The
    // registry editor does not read them back, so an export never sets it.
    bool escapedLineEnds = false;
};

// A key or value name that a format cannot carry back exactly. The writer
// refuses the whole output rather than write an entry that imports as another
// (a line break in a .reg name starts a line of the importer's own).
class UnwritableName : public std::exception {
  public:
    UnwritableName(std::wstring entry, std::wstring reason)
        : entry_(std::move(entry)), reason_(std::move(reason)) {}
    // The key's full name, and for a value "<key>" value "<name>", as stored.
    const std::wstring& Entry() const { return entry_; }
    // "a line break in its name cannot be written to a .reg file"
    const std::wstring& Reason() const { return reason_; }
    const char* what() const noexcept override { return "name the format cannot hold"; }

  private:
    std::wstring entry_;
    std::wstring reason_;
};

// Whether the .reg format carries `name` back exactly: no control character.
// CR and LF end the importer's line, NUL ends its string, and the others are
// read differently by different editors.
bool RegFileHolds(std::wstring_view name);

// UTF-16 LE with a byte-order mark, as the registry editor writes it. Throws
// UnwritableName for the first key or value name the format cannot hold.
std::string WriteRegFile(const std::vector<ExportedFile>& files, const ExportOptions& options);
// JSON Lines, UTF-8: one object per file.
std::string WriteJsonLines(const std::vector<ExportedFile>& files, const ExportOptions& options);
// WiX fragments (v4 or v3 namespace), UTF-8.
std::string WriteWixFragment(const std::vector<ExportedFile>& files, const ExportOptions& options,
                             ExportFormat format);
// A registration-free COM assembly manifest, UTF-8.
std::string WriteAssemblyManifest(const std::vector<ExportedFile>& files,
                                  const ExportOptions& options);

} // namespace calvorn::registration
