#include "inspection/pe_version_reader.h"

#include "inspection/image_file.h"
#include "inspection/pe_resource_locator.h"
#include "platform/disk_file.h"

#include <windows.h>

namespace calvorn::inspection {

namespace {

LocaleLanguages UserLanguages() {
    return {LANGIDFROMLCID(::GetThreadLocale()), ::GetUserDefaultLangID(),
            ::GetSystemDefaultLangID()};
}

} // namespace

VersionBlock ReadVersionBlockByPlatform(const std::wstring& path) {
    if (!platform::MayBeDiskFile(path))
        return {};
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size < 2)
        return {};
    VersionBlock block(size);
    if (!::GetFileVersionInfoW(path.c_str(), handle, size, block.data()))
        return {};
    block.resize(ClipToRoot(ByteSpan(block)).size());
    return block;
}

std::optional<VersionBlock> ReadVersionBlockFromImage(const std::wstring& path,
                                                      std::uint32_t* readError) {
    std::uint32_t openError = 0;
    auto image = ImageFile::Open(path, &openError);
    const auto failed = [readError](std::uint32_t error) -> std::optional<VersionBlock> {
        if (readError)
            *readError = error != 0 ? error : ERROR_READ_FAULT;
        return std::nullopt;
    };
    if (!image)
        return failed(openError);
    FileReader& reader = image->reader();
    const VersionResource found = LocateVersionResource(reader, UserLanguages());
    switch (found.lookup) {
    case VersionLookup::Found:
        if (auto block = ReadResourceBlock(reader, found))
            return block;
        break;
    case VersionLookup::None:
        return VersionBlock{};
    case VersionLookup::Undecided:
        break;
    }
    // A read the system refused (a locked range) is an unreadable file; a
    // read that merely fell short leaves the file to the platform.
    if (image->ReadFailure() != 0)
        return failed(image->ReadFailure());
    return std::nullopt;
}

VersionBlock ReadVersionBlock(const std::wstring& path, std::uint32_t& readError) {
    readError = 0;
    if (auto block = ReadVersionBlockFromImage(path, &readError))
        return std::move(*block);
    // What could not be opened or read here cannot be by the platform either.
    if (readError != 0)
        return {};
    return ReadVersionBlockByPlatform(path);
}

VersionBlock ReadVersionBlock(const std::wstring& path) {
    std::uint32_t readError = 0;
    return ReadVersionBlock(path, readError);
}

} // namespace calvorn::inspection
