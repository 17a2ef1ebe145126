#include "inspection/pe_version_reader.h"

#include "inspection/pe_resource_locator.h"
#include "platform/disk_file.h"
#include "platform/unique_handle.h"

#include <windows.h>

namespace calvorn::inspection {

using platform::UniqueFile;

namespace {

// Paths of MAX_PATH characters and more open only in their "\\?\" form.
std::wstring OpenablePath(const std::wstring& path) {
    if (path.size() < MAX_PATH || path.rfind(L"\\\\?\\", 0) == 0)
        return path;
    if (path.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + path.substr(2);
    if (path.size() > 2 && path[1] == L':' && path[2] == L'\\')
        return L"\\\\?\\" + path;
    return path;
}

platform::UniqueFile OpenForReading(const std::wstring& path) {
    return platform::UniqueFile(
        ::CreateFileW(OpenablePath(path).c_str(), GENERIC_READ,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

FileReader::ReadAt ReaderOf(HANDLE handle) {
    return [handle](std::uint64_t offset, std::uint8_t* buffer, std::size_t length) -> std::size_t {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        if (!::ReadFile(handle, buffer, static_cast<DWORD>(length), &got, &at))
            return 0;
        return got;
    };
}

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
    // Plain reads rather than a mapping: under Wine a mapping costs more than
    // the two or three reads a lookup needs, and a file cut short by someone
    // else gives a short read instead of a fault.
    if (!platform::MayBeDiskFile(path))
        return VersionBlock{};
    UniqueFile file = OpenForReading(path);
    if (!file)
        return std::nullopt;
    const auto readAt = ReaderOf(file.get());
    // Most components are smaller than one block: one read brings the whole
    // file and tells its size.
    std::vector<std::uint8_t> head(FileReader::kBlockSize);
    DWORD got = 0;
    if (!::ReadFile(file.get(), head.data(), static_cast<DWORD>(head.size()), &got, nullptr))
        return std::nullopt;
    head.resize(got);
    std::uint64_t size = head.size();
    if (size == FileReader::kBlockSize) {
        LARGE_INTEGER full{};
        if (!::GetFileSizeEx(file.get(), &full))
            return std::nullopt;
        size = static_cast<std::uint64_t>(full.QuadPart);
    }
    FileReader reader(std::move(head), size, readAt);
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

std::optional<std::uint16_t> ReadMachineType(const std::wstring& path) {
    if (!platform::MayBeDiskFile(path))
        return std::nullopt;
    UniqueFile file = OpenForReading(path);
    if (!file)
        return std::nullopt;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size))
        return std::nullopt;
    FileReader reader(static_cast<std::uint64_t>(size.QuadPart), ReaderOf(file.get()));
    return ReadImageMachine(reader);
}

} // namespace calvorn::inspection
