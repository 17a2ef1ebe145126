#pragma once
// A file on disk opened for the bounded PE readers.

#include "inspection/file_reader.h"
#include "inspection/pe_image.h"
#include "platform/unique_handle.h"

#include <optional>
#include <string>

namespace calvorn::inspection {

class ImageFile {
  public:
    // No value when the file cannot be opened. Plain reads rather than a
    // mapping: under Wine a mapping costs more than the two or three reads a
    // lookup needs, and a file cut short by someone else gives a short read
    // instead of a fault.
    static std::optional<ImageFile> Open(const std::wstring& path);

    FileReader& reader() { return reader_; }

  private:
    ImageFile(platform::UniqueFile file, FileReader reader)
        : file_(std::move(file)), reader_(std::move(reader)) {}

    platform::UniqueFile file_;
    FileReader reader_;
};

// Paths of MAX_PATH characters and more open only in their "\\?\" form.
std::wstring OpenablePath(const std::wstring& path);

// The facts of the file the user named: a 32-bit program reads the file in
// the real system folder, not the 32-bit copy the platform would substitute.
// Unreadable when it cannot be opened.
ModuleFactsResult ReadModuleFactsOf(const std::wstring& path);

} // namespace calvorn::inspection
