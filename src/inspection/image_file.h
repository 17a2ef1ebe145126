#pragma once
// A file on disk opened for the bounded PE readers.

#include "inspection/file_reader.h"
#include "inspection/pe_image.h"
#include "platform/unique_handle.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace calvorn::inspection {

class ImageFile {
  public:
    // No value when the file cannot be opened. Plain reads rather than a
    // mapping: under Wine a mapping costs more than the two or three reads a
    // lookup needs, and a file cut short by someone else gives a short read
    // instead of a fault.
    // `error`, when given, receives the system error of a failed open.
    static std::optional<ImageFile> Open(const std::wstring& path, std::uint32_t* error = nullptr);

    FileReader& reader() { return reader_; }
    // For a platform call that should read the very file opened here.
    HANDLE Handle() const { return file_.get(); }
    // The system error of the last read the system refused (a locked range),
    // 0 when none was.
    std::uint32_t ReadFailure() const { return *readFailure_; }

  private:
    ImageFile(platform::UniqueFile file, FileReader reader,
              std::shared_ptr<std::uint32_t> readFailure)
        : file_(std::move(file)), reader_(std::move(reader)), readFailure_(std::move(readFailure)) {
    }

    platform::UniqueFile file_;
    FileReader reader_;
    std::shared_ptr<std::uint32_t> readFailure_;
};

// The facts of the file the user named: a 32-bit program reads the file in
// the real system folder, not the 32-bit copy the platform would substitute.
// Unreadable when it cannot be opened.
ModuleFactsResult ReadModuleFactsOf(const std::wstring& path);

} // namespace calvorn::inspection
