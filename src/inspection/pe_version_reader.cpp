#include "inspection/pe_version_reader.h"

#include "inspection/pe_resource_locator.h"
#include "platform/unique_handle.h"

#include <windows.h>

namespace calvorn::inspection {

using platform::UniqueFile;
using platform::UniqueHandle;
using platform::UniqueMappedView;

namespace {

LocaleLanguages UserLanguages() {
    return {LANGIDFROMLCID(::GetThreadLocale()), ::GetUserDefaultLangID(),
            ::GetSystemDefaultLangID()};
}

} // namespace

VersionBlock ReadVersionBlockByPlatform(const std::wstring& path) {
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
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return std::nullopt;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size))
        return std::nullopt;
    if (size.QuadPart == 0)
        return VersionBlock{}; // no header, so no resource
    if (static_cast<unsigned long long>(size.QuadPart) > SIZE_MAX)
        return std::nullopt;
    UniqueHandle mapping(::CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping)
        return std::nullopt;
    UniqueMappedView view(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
    if (!view)
        return std::nullopt;
    const ByteSpan bytes(static_cast<const std::uint8_t*>(view.get()),
                         static_cast<std::size_t>(size.QuadPart));
    const VersionResource found = LocateVersionResource(bytes, UserLanguages());
    switch (found.lookup) {
    case VersionLookup::Found:
        return BlockFromResource(bytes.subspan(found.offset, found.size));
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
