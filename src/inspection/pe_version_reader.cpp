#include "inspection/pe_version_reader.h"

#include "inspection/image_file.h"
#include "inspection/pe_resource_locator.h"
#include "platform/child_process.h"
#include "platform/disk_file.h"
#include "platform/file_system_redirection.h"
#include "platform/program_parts.h"

#include <windows.h>

#include <chrono>

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
    // The helper's calls map the file as data and load no code: the file the
    // path names is read, also in the system folder of a 32-bit helper.
    platform::FileSystemRedirectionOff seeTheNamedFile;
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &handle);
    // A 16-bit file whose entry is shorter than the fixed information gets a
    // size of about 4 GB.
    if (size < 2 || size > 4 * kMaxVersionResourceSize)
        return {};
    VersionBlock block(size);
    if (!::GetFileVersionInfoW(path.c_str(), handle, size, block.data()))
        return {};
    block.resize(ClipToRoot(ByteSpan(block)).size());
    return block;
}

namespace {

// Our reader alone: no value when it cannot decide, or when a read failed
// (then `readError` is set).
std::optional<VersionBlock> LocateAndRead(FileReader& reader,
                                          const std::function<std::uint32_t()>& readFailure,
                                          std::uint32_t& readError) {
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
    readError = readFailure();
    return std::nullopt;
}

} // namespace

std::optional<VersionBlock> ReadVersionBlockFromImage(const std::wstring& path,
                                                      std::uint32_t* readError) {
    std::uint32_t openError = 0;
    std::optional<ImageFile> image;
    {
        platform::FileSystemRedirectionOff seeTheNamedFile;
        image = ImageFile::Open(path, &openError);
    }
    if (!image) {
        if (readError)
            *readError = openError != 0 ? openError : ERROR_READ_FAULT;
        return std::nullopt;
    }
    std::uint32_t failure = 0;
    auto block = LocateAndRead(
        image->reader(), [&image] { return image->ReadFailure(); }, failure);
    if (readError)
        *readError = failure;
    return block;
}

VersionBlock ReadVersionBlock(const std::wstring& path, FileReader& reader,
                              const std::function<std::uint32_t()>& readFailure,
                              std::uint32_t& readError) {
    readError = 0;
    if (auto block = LocateAndRead(reader, readFailure, readError))
        return std::move(*block);
    if (readError != 0)
        return {};
    return ReadVersionBlockInHelper(path);
}

std::string SerializeVersionBlock(const VersionBlock& block) {
    const auto size = static_cast<std::uint32_t>(block.size());
    std::string answer{static_cast<char>(size), static_cast<char>(size >> 8),
                       static_cast<char>(size >> 16), static_cast<char>(size >> 24)};
    answer.append(block.begin(), block.end());
    return answer;
}

VersionBlock ParseVersionBlockAnswer(const std::string& answer) {
    if (answer.size() < 4)
        return {};
    const auto byte = [&answer](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(answer[i]));
    };
    const std::uint32_t size = byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
    if (answer.size() - 4 != size)
        return {};
    VersionBlock block(answer.begin() + 4, answer.end());
    block.resize(ClipToRoot(ByteSpan(block)).size());
    return block;
}

VersionBlock ReadVersionBlockInHelper(const std::wstring& path) {
    // The helper of our own bitness sees the file system as we do.
    const auto helper =
        platform::LocatePart(platform::ProgramPart::TypeLibHelper, platform::OwnBitness());
    if (!helper || !platform::MayBeDiskFile(path))
        return {};
    const auto answer =
        platform::RunChild(*helper, L"/version \"" + path + L"\"", std::chrono::seconds(10));
    if (!answer || answer->exitCode != 0)
        return {};
    return ParseVersionBlockAnswer(answer->output);
}

VersionBlock ReadVersionBlock(const std::wstring& path, std::uint32_t& readError) {
    readError = 0;
    if (auto block = ReadVersionBlockFromImage(path, &readError))
        return std::move(*block);
    // What could not be opened or read here cannot be by the platform either.
    if (readError != 0)
        return {};
    return ReadVersionBlockInHelper(path);
}

VersionBlock ReadVersionBlock(const std::wstring& path) {
    std::uint32_t readError = 0;
    return ReadVersionBlock(path, readError);
}

} // namespace calvorn::inspection
