#include "app/report_inventory.h"

#include "inspection/machine_registration_state.h"

#include "inspection/file_reader.h"
#include "inspection/file_signature.h"
#include "inspection/module_inventory.h"
#include "inspection/typelib_info.h"
#include "platform/disk_file.h"
#include "platform/error_record.h"
#include "platform/file_system_redirection.h"
#include "platform/unique_handle.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

namespace calvorn::app {

using platform::Failure;

namespace {

// Large enough that a big file costs few calls, small enough that a data
// file skipped by "-types all" costs one short read.
constexpr std::size_t kChunk = 256u << 10;

std::uint64_t Join(DWORD high, DWORD low) {
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

// Reads up to `length` bytes at the file's position; throws the system's
// error when the read is refused (a locked range).
std::size_t ReadNext(HANDLE file, std::uint8_t* buffer, std::size_t length) {
    DWORD got = 0;
    if (!::ReadFile(file, buffer, static_cast<DWORD>(length), &got, nullptr))
        throw Failure(platform::Win32Error(::GetLastError()));
    return got;
}

bool IsModuleHead(const std::vector<std::uint8_t>& head) {
    inspection::FileReader reader = inspection::FileReader::OverBytes(head);
    return inspection::IsModuleContent(reader);
}

void FillTypeLib(const std::wstring& path, const inspection::ModuleInventory& module,
                 InventoryFacts& facts) {
    std::optional<inspection::TypeLibInfo> info;
    if (module.typeLib)
        info = inspection::TypeLibInfo::FromTypeLibHeader(*module.typeLib);
    // Only a library our header reader declines goes to the loader, in its
    // own process.
    else if (module.typeLibUnread)
        info = inspection::TypeLibInfo::Open(path);
    if (!info)
        return;
    facts.typeLibId = info->Guid();
    facts.typeLibVersion = inspection::VersionText(info->MajorVersion(), info->MinorVersion());
    facts.typeLibName = info->Name();
}

FolderRecord Read(const std::wstring& path, const InventoryOptions& options) {
    FolderRecord record;
    record.path = path;
    const auto unreadable = [&](DWORD code) {
        record = {};
        record.path = path;
        record.error = ReadErrorText(code != 0 ? code : ERROR_READ_FAULT);
        // An unreadable file of no type asked for cannot be told a module.
        record.excluded = !IsReportedFile(path, options.types);
        return record;
    };
    // A pipe or a device would be opened, and its read could wait for ever.
    if (!platform::MayBeDiskFile(path))
        return unreadable(ERROR_INVALID_NAME);
    platform::UniqueFile file;
    {
        // The file the path names, also in the system folder of a 32-bit
        // program; every later read goes through this handle.
        platform::FileSystemRedirectionOff seeTheNamedFile;
        file = platform::OpenRead(path, GENERIC_READ, FILE_FLAG_SEQUENTIAL_SCAN);
    }
    // Size and time alone: the full information also asks for the volume's,
    // which under Wine costs more than reading a small file.
    LARGE_INTEGER fileSize{};
    FILETIME lastWrite{};
    if (!file || !::GetFileSizeEx(file.get(), &fileSize) ||
        !::GetFileTime(file.get(), nullptr, nullptr, &lastWrite))
        return unreadable(::GetLastError());
    const auto size = static_cast<std::uint64_t>(fileSize.QuadPart);

    std::unique_ptr<platform::IContentHashes> hashes;
    if (options.hashes.Any())
        hashes = platform::StartHashes(options.hashes);
    // Digests need every byte: a file up to the limit is then held whole and
    // read by the readers from memory, a larger one streams through the
    // digests. Without digests only the first block is read here, and the
    // readers fetch the few other places they look at.
    const bool whole = hashes && size <= kWholeFileLimit;
    std::vector<std::uint8_t> bytes;
    if (whole)
        bytes.reserve(static_cast<std::size_t>(size));
    std::uint64_t done = 0;
    try {
        for (bool first = true;; first = false) {
            // Under "-types all" the first read is short: most files of a
            // folder are no modules, and their first bytes say so.
            const std::size_t want = !hashes ? inspection::FileReader::kBlockSize
                                     : first && options.types.all ? 4096
                                                                  : kChunk;
            // Never past the size taken above: a file that grows while it is
            // read is hashed over the bytes its size column counts, and the
            // read ends.
            const std::size_t length =
                static_cast<std::size_t>(std::min<std::uint64_t>(want, size - done));
            const std::size_t at = whole ? bytes.size() : 0;
            bytes.resize(at + length);
            const std::size_t got = length ? ReadNext(file.get(), bytes.data() + at, length) : 0;
            bytes.resize(at + got);
            if (first && options.types.all && !IsReportedFile(path, options.types) &&
                !IsModuleHead(bytes)) {
                record.excluded = true;
                return record;
            }
            if (hashes)
                hashes->Add(std::span(bytes).subspan(at, got));
            done += got;
            // A short read is the end: the file was cut while it was read,
            // and what was read is what is reported.
            if (!hashes || got < length || length == 0 || done == size)
                break;
        }
    } catch (const Failure& failure) {
        return unreadable(static_cast<DWORD>(failure.Record().number));
    }

    auto readFailure = std::make_shared<std::uint32_t>(0);
    const auto readAt = [handle = file.get(), readFailure](std::uint64_t offset,
                                                           std::uint8_t* buffer,
                                                           std::size_t length) -> std::size_t {
        OVERLAPPED position{};
        position.Offset = static_cast<DWORD>(offset);
        position.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        if (!::ReadFile(handle, buffer, static_cast<DWORD>(length), &got, &position)) {
            *readFailure = ::GetLastError();
            return 0;
        }
        return got;
    };
    inspection::FileReader reader = whole ? inspection::FileReader::OverBytes(bytes)
                                    : !hashes
                                        ? inspection::FileReader(std::move(bytes), size, readAt)
                                        : inspection::FileReader(size, readAt);
    record.info.SelectFile(path, reader, [readFailure] { return *readFailure; });
    if (record.info.ReadError)
        return unreadable(record.info.ReadError);

    InventoryFacts& facts = record.inventory;
    if (options.facts) {
        facts.module = inspection::ReadModuleInventory(reader);
        FillTypeLib(path, facts.module, facts);
        // From the header read above; the loader, in its own process, only
        // for a library the header reader declined.
        if (options.registration && !facts.typeLibId.empty())
            facts.registration = inspection::RegistrationWordOf(path, facts.module.typeLib);
        facts.read = true;
    }
    if (hashes) {
        facts.sha256 = hashes->Finish(platform::HashKind::Sha256);
        facts.md5 = hashes->Finish(platform::HashKind::Md5);
        facts.sha1 = hashes->Finish(platform::HashKind::Sha1);
    }
    // The size taken when the file was opened, which the digests cover;
    // fewer bytes when the file was cut while it was read.
    record.size = hashes && done < size ? done : size;
    record.lastWrite = Join(lastWrite.dwHighDateTime, lastWrite.dwLowDateTime);
    return record;
}

} // namespace

FolderRecord ReadInventoryRecord(const std::wstring& path, const InventoryOptions& options) {
    return Read(path, options);
}

InventoryOptions TextReportOptions() {
    InventoryOptions options;
    options.facts = false;
    return options;
}

FolderRecord WithSignature(FolderRecord record) {
    if (!record.error.empty() || record.excluded)
        return record;
    inspection::FileSignature signature = inspection::CheckSignature(record.path);
    if (signature.readError) {
        const std::wstring path = record.path;
        record = {};
        record.path = path;
        record.error = ReadErrorText(signature.readError);
        return record;
    }
    record.signature = std::move(signature);
    return record;
}

namespace {

// The comparison's rows: a label and the inventory's column it shows.
struct ComparedColumn {
    const wchar_t* label;
    std::string_view column;
};

constexpr ComparedColumn kComparedColumns[] = {
    {L"FileVersion:", "file_version_string"},
    {L"ProductVersion:", "product_version"},
    {L"Version:", "fixed_file_version"},
    {L"Product Version:", "fixed_product_version"},
    {L"CompanyName:", "company_name"},
    {L"FileDescription:", "file_description"},
    {L"OriginalFileName:", "original_filename"},
    {L"Size:", "size"},
    {L"Link Time (UTC):", "link_time_utc"},
    {L"Machine:", "machine"},
    {L"SHA-256:", "sha256"},
    {L"Signature:", "signature"},
    {L"Signer:", "signer"},
    {L"TypeLib GUID:", "typelib_id"},
    {L"TypeLib Version:", "typelib_version"},
    {L"TypeLib Name:", "typelib_name"},
};

} // namespace

inspection::ComparedFile ReadComparedFile(const std::wstring& path) {
    InventoryOptions options;
    options.hashes = {false, false, true};
    const FolderRecord record = WithSignature(ReadInventoryRecord(path, options));
    inspection::ComparedFile compared;
    compared.error = record.error;
    if (!compared.error.empty())
        return compared;
    compared.sha256 = record.inventory.sha256;
    compared.size = record.size;
    for (const ComparedColumn& wanted : kComparedColumns)
        for (const ReportField& field : ReportFields())
            if (field.column && field.column == wanted.column)
                compared.facts.emplace_back(wanted.label, field.value(record));
    return compared;
}

} // namespace calvorn::app
