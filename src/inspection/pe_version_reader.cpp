#include "inspection/pe_version_reader.h"

#include "inspection/pe_resource_locator.h"
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

std::optional<VersionBlock> ReadVersionBlockFromImage(const std::wstring& path,
                                                      std::uint32_t* readError) {
    const auto failed = [readError](DWORD error) -> std::optional<VersionBlock> {
        if (readError)
            *readError = error != 0 ? error : ERROR_READ_FAULT;
        return std::nullopt;
    };
    // Plain reads rather than a mapping: under Wine a mapping costs more than
    // the two or three reads a lookup needs, and a file cut short by someone
    // else gives a short read instead of a fault.
    UniqueFile file(::CreateFileW(OpenablePath(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return failed(::GetLastError());
    DWORD readFailure = 0;
    const auto readAt = [handle = file.get(), &readFailure](std::uint64_t offset,
                                                            std::uint8_t* buffer,
                                                            std::size_t length) -> std::size_t {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        if (!::ReadFile(handle, buffer, static_cast<DWORD>(length), &got, &at)) {
            readFailure = ::GetLastError();
            return 0;
        }
        return got;
    };
    // Most components are smaller than one block: one read brings the whole
    // file and tells its size.
    std::vector<std::uint8_t> head(FileReader::kBlockSize);
    DWORD got = 0;
    if (!::ReadFile(file.get(), head.data(), static_cast<DWORD>(head.size()), &got, nullptr))
        return failed(::GetLastError());
    head.resize(got);
    std::uint64_t size = head.size();
    if (size == FileReader::kBlockSize) {
        LARGE_INTEGER full{};
        if (!::GetFileSizeEx(file.get(), &full))
            return failed(::GetLastError());
        size = static_cast<std::uint64_t>(full.QuadPart);
    }
    FileReader reader(std::move(head), size, readAt);
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
    if (readFailure != 0)
        return failed(readFailure);
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
