#include "inspection/typelib_info.h"

#include "inspection/image_file.h"
#include "inspection/typelib_header.h"
#include "platform/file_system_redirection.h"
#include "platform/child_process.h"
#include "platform/disk_file.h"
#include "platform/program_parts.h"
#include "platform/text.h"

#include <windows.h>

#include <oleauto.h>

#include <cwchar>
#include <utility>

namespace calvorn::inspection {

platform::Bitness TypeLibInfo::ReaderBitness(const std::wstring& path) {
    const ModuleFactsResult module = ReadModuleFactsOf(path);
    if (module.read != ModuleRead::Read)
        return platform::OwnBitness();
    return module.facts.is64Bit ? platform::Bitness::x64 : platform::Bitness::x86;
}

std::optional<TypeLibHeader> ReadTypeLibHeaderOf(const std::wstring& path) {
    if (path.empty() || !platform::MayBeDiskFile(path))
        return std::nullopt;
    std::optional<ImageFile> image;
    {
        platform::FileSystemRedirectionOff seeTheNamedFile;
        image = ImageFile::Open(path);
    }
    return image ? ReadTypeLibHeader(image->reader()) : std::nullopt;
}

std::optional<TypeLibInfo> TypeLibInfo::FromHeader(const std::wstring& path) {
    std::optional<TypeLibHeader> header = ReadTypeLibHeaderOf(path);
    if (!header)
        return std::nullopt;
    return FromTypeLibHeader(*header);
}

TypeLibInfo TypeLibInfo::FromTypeLibHeader(const TypeLibHeader& header) {
    TypeLibInfo info;
    info.guid_ = GuidText(header.guid);
    info.major_ = header.major;
    info.minor_ = header.minor;
    info.lcid_ = header.lcid;
    info.syskind_ = header.syskind;
    info.name_ = platform::Widen(header.name);
    info.helpString_ = platform::Widen(header.helpString);
    return info;
}

namespace {

// The helper's answer for `arguments`; nothing when it is missing, ends
// badly or is kept busy. The program never runs the system's loader on a
// file itself: a copy without its helper reads what the header reader
// reads, and no more.
std::optional<std::wstring> HelperAnswer(const std::wstring& path, const std::wstring& arguments) {
    auto helper = platform::LocatePart(platform::ProgramPart::TypeLibHelper,
                                       TypeLibInfo::ReaderBitness(path));
    if (!helper)
        helper = platform::LocatePart(platform::ProgramPart::TypeLibHelper, platform::OwnBitness());
    if (!helper)
        return std::nullopt;
    // A library that takes the helper down, or keeps it busy, is no library.
    auto answer = platform::RunChild(*helper, arguments, std::chrono::seconds(10));
    if (!answer || answer->exitCode != 0)
        return std::nullopt;
    return platform::Widen(answer->output);
}

} // namespace

std::optional<TypeLibInfo> TypeLibInfo::Open(const std::wstring& path) {
    if (path.empty() || !platform::MayBeDiskFile(path))
        return std::nullopt;
    // A library whose header reads plainly needs neither the loader nor its
    // process; anything else is the loader's to judge, out of our process.
    if (auto info = FromHeader(path))
        return info;
    auto answer = HelperAnswer(path, L"\"" + path + L"\"");
    return answer ? Parse(*answer) : std::nullopt;
}

namespace {

std::optional<std::vector<LibraryType>> TypesListedIn(const std::optional<TypeLibHeader>& header) {
    if (!header || !header->types)
        return std::nullopt;
    std::vector<LibraryType> types;
    for (const HeaderType& type : *header->types)
        types.push_back({type.isClass, GuidText(type.guid), platform::Widen(type.name)});
    return types;
}

} // namespace

std::optional<std::vector<LibraryType>> LibraryTypesFromHeader(const std::wstring& path) {
    return TypesListedIn(ReadTypeLibHeaderOf(path));
}

std::vector<LibraryType> LibraryTypesOf(const std::wstring& path,
                                        const std::optional<TypeLibHeader>& header) {
    // Listed from the header where it reads plainly, as the library's identity
    // is: a folder of libraries is checked without a process per file.
    if (auto types = TypesListedIn(header))
        return std::move(*types);
    return LibraryTypesByLoader(path);
}

std::vector<LibraryType> LibraryTypesByLoader(const std::wstring& path) {
    if (path.empty() || !platform::MayBeDiskFile(path))
        return {};
    auto answer = HelperAnswer(path, L"/types \"" + path + L"\"");
    auto types = answer ? ParseTypes(*answer) : std::nullopt;
    return types ? std::move(*types) : std::vector<LibraryType>{};
}

namespace {

void AppendField(std::wstring& out, const std::wstring& field) {
    out += std::to_wstring(field.size());
    out += L':';
    out += field;
}

std::optional<std::wstring> TakeField(const std::wstring& text, std::size_t& at) {
    std::size_t colon = text.find(L':', at);
    if (colon == std::wstring::npos || colon == at || colon - at > 9)
        return std::nullopt;
    std::size_t length = 0;
    for (std::size_t i = at; i < colon; ++i) {
        if (text[i] < L'0' || text[i] > L'9')
            return std::nullopt;
        length = length * 10 + static_cast<std::size_t>(text[i] - L'0');
    }
    if (length > text.size() - colon - 1)
        return std::nullopt;
    at = colon + 1 + length;
    return text.substr(colon + 1, length);
}

std::optional<unsigned long> Number(const std::optional<std::wstring>& field) {
    if (!field || field->empty() || field->size() > 10)
        return std::nullopt;
    unsigned long long value = 0;
    for (wchar_t c : *field) {
        if (c < L'0' || c > L'9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - L'0');
    }
    if (value > 0xFFFFFFFFull)
        return std::nullopt;
    return static_cast<unsigned long>(value);
}

} // namespace

std::wstring TypeLibInfo::Serialize() const {
    std::wstring out;
    AppendField(out, guid_);
    AppendField(out, std::to_wstring(major_));
    AppendField(out, std::to_wstring(minor_));
    AppendField(out, std::to_wstring(lcid_));
    AppendField(out, std::to_wstring(static_cast<unsigned>(syskind_)));
    AppendField(out, name_);
    AppendField(out, helpString_);
    return out;
}

TypeLibInfo TypeLibInfo::FromFields(std::wstring guid, std::uint16_t major, std::uint16_t minor,
                                    std::uint32_t lcid, int syskind, std::wstring name,
                                    std::wstring helpString) {
    TypeLibInfo info;
    info.guid_ = std::move(guid);
    info.major_ = major;
    info.minor_ = minor;
    info.lcid_ = lcid;
    info.syskind_ = syskind;
    info.name_ = std::move(name);
    info.helpString_ = std::move(helpString);
    return info;
}

std::optional<TypeLibInfo> TypeLibInfo::Parse(const std::wstring& text) {
    std::size_t at = 0;
    auto guid = TakeField(text, at);
    auto major = Number(TakeField(text, at));
    auto minor = Number(TakeField(text, at));
    auto lcid = Number(TakeField(text, at));
    auto syskind = Number(TakeField(text, at));
    auto name = TakeField(text, at);
    auto help = TakeField(text, at);
    if (!guid || guid->size() != 38 || !major || *major > 0xFFFF || !minor || *minor > 0xFFFF ||
        !lcid || !syskind || !name || !help)
        return std::nullopt;
    TypeLibInfo info;
    info.guid_ = *guid;
    info.major_ = static_cast<std::uint16_t>(*major);
    info.minor_ = static_cast<std::uint16_t>(*minor);
    info.lcid_ = *lcid;
    info.syskind_ = static_cast<int>(*syskind);
    info.name_ = *name;
    info.helpString_ = *help;
    return info;
}

std::wstring SerializeTypes(const std::vector<LibraryType>& types) {
    std::wstring out;
    for (const LibraryType& type : types) {
        AppendField(out, type.isClass ? L"class" : L"interface");
        AppendField(out, type.guid);
        AppendField(out, type.name);
    }
    return out;
}

std::optional<std::vector<LibraryType>> ParseTypes(const std::wstring& text) {
    std::vector<LibraryType> types;
    for (std::size_t at = 0; at < text.size();) {
        auto kind = TakeField(text, at);
        auto guid = TakeField(text, at);
        auto name = TakeField(text, at);
        if (!kind || (*kind != L"class" && *kind != L"interface") || !guid || guid->size() != 38 ||
            !name)
            return std::nullopt;
        types.push_back({*kind == L"class", std::move(*guid), std::move(*name)});
    }
    return types;
}

bool TypeLibInfo::IsSameLibrary(const TypeLibInfo& other) const {
    return _wcsicmp(guid_.c_str(), other.guid_.c_str()) == 0 && major_ == other.major_ &&
           minor_ == other.minor_ && lcid_ == other.lcid_ && syskind_ == other.syskind_;
}

std::wstring TypeLibInfo::TargetPlatform() const {
    // The registry's names for them, as under "TypeLib\{guid}\1.0\0".
    switch (syskind_) {
    case SYS_WIN16:
        return L"win16";
    case SYS_WIN32:
        return L"win32";
    case SYS_MAC:
        return L"mac";
    case SYS_WIN64:
        return L"win64";
    default:
        return std::to_wstring(syskind_);
    }
}

std::wstring VersionKeyName(std::uint16_t major, std::uint16_t minor) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%x.%x", static_cast<unsigned>(major), static_cast<unsigned>(minor));
    return text;
}

std::wstring VersionText(std::uint16_t major, std::uint16_t minor) {
    return std::to_wstring(major) + L"." + std::to_wstring(minor);
}

bool IsTypeLibraryFile(const std::wstring& path) {
    const std::size_t dot = path.find_last_of(L'.');
    if (dot == std::wstring::npos || path.find_first_of(L"\\/", dot) != std::wstring::npos)
        return false;
    const std::wstring extension = path.substr(dot);
    return _wcsicmp(extension.c_str(), L".tlb") == 0 || _wcsicmp(extension.c_str(), L".olb") == 0;
}

} // namespace calvorn::inspection
