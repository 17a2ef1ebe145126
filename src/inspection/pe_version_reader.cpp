#include "inspection/pe_version_reader.h"

#include "inspection/version_block.h"

#include <windows.h>

namespace calvorn::inspection {

namespace {

VersionBlock Clipped(VersionBlock block) {
    block.resize(ClipToRoot(ByteSpan(block)).size());
    return block;
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
    return Clipped(std::move(block));
}

std::optional<VersionBlock> ReadVersionBlockFromImage(const std::wstring&) {
    return std::nullopt;
}

VersionBlock ReadVersionBlock(const std::wstring& path) {
    if (auto block = ReadVersionBlockFromImage(path))
        return std::move(*block);
    return ReadVersionBlockByPlatform(path);
}

} // namespace calvorn::inspection
