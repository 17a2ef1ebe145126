#include "inspection/image_file.h"

#include "platform/disk_file.h"
#include "platform/file_system_redirection.h"

#include <windows.h>

namespace calvorn::inspection {

using platform::UniqueFile;

std::optional<ImageFile> ImageFile::Open(const std::wstring& path, std::uint32_t* error) {
    const auto failed = [error]() -> std::optional<ImageFile> {
        if (error)
            *error = ::GetLastError();
        return std::nullopt;
    };
    // A pipe or a device would be opened, and its read could wait for ever.
    if (!platform::MayBeDiskFile(path))
        return std::nullopt;
    UniqueFile file = platform::OpenRead(path);
    if (!file)
        return failed();
    auto readFailure = std::make_shared<std::uint32_t>(0);
    const auto readAt = [handle = file.get(), readFailure](std::uint64_t offset,
                                                           std::uint8_t* buffer,
                                                           std::size_t length) -> std::size_t {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        if (!::ReadFile(handle, buffer, static_cast<DWORD>(length), &got, &at)) {
            *readFailure = ::GetLastError();
            return 0;
        }
        return got;
    };
    // Most components are smaller than one block: one read brings the whole
    // file and tells its size.
    std::vector<std::uint8_t> head(FileReader::kBlockSize);
    DWORD got = 0;
    if (!::ReadFile(file.get(), head.data(), static_cast<DWORD>(head.size()), &got, nullptr))
        return failed();
    head.resize(got);
    std::uint64_t size = head.size();
    if (size == FileReader::kBlockSize) {
        LARGE_INTEGER full{};
        if (!::GetFileSizeEx(file.get(), &full))
            return failed();
        size = static_cast<std::uint64_t>(full.QuadPart);
    }
    FileReader reader(std::move(head), size, readAt);
    return ImageFile(std::move(file), std::move(reader), std::move(readFailure));
}

ModuleFactsResult ReadModuleFactsOf(const std::wstring& path) {
    std::optional<ImageFile> image;
    {
        platform::FileSystemRedirectionOff seeTheNamedFile;
        image = ImageFile::Open(path);
    }
    if (!image)
        return {};
    return ReadModuleFacts(image->reader());
}

} // namespace calvorn::inspection
