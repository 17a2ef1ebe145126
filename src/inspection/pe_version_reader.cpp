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

std::optional<VersionBlock> ReadVersionBlockFromImage(const std::wstring& path) {
    auto image = ImageFile::Open(path);
    if (!image)
        return std::nullopt;
    FileReader& reader = image->reader();
    const VersionResource found = LocateVersionResource(reader, UserLanguages());
    switch (found.lookup) {
    case VersionLookup::Found:
        return ReadResourceBlock(reader, found);
    case VersionLookup::None:
        return VersionBlock{};
    case VersionLookup::Undecided:
        break;
    }
    return std::nullopt;
}

VersionBlock ReadVersionBlock(const std::wstring& path) {
    if (auto block = ReadVersionBlockFromImage(path))
        return std::move(*block);
    return ReadVersionBlockByPlatform(path);
}

} // namespace calvorn::inspection
