#include "registration/health/server_files.h"

#include "inspection/image_file.h"
#include "platform/disk_file.h"
#include "platform/file_system_redirection.h"
#include "platform/path_forms.h"
#include "platform/system_view_path.h"
#include "platform/text.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <optional>

namespace calvorn::registration {

namespace {

bool IsBlankChar(wchar_t c) {
    return c == L' ' || c == L'\t';
}

std::wstring Trimmed(std::wstring_view text) {
    while (!text.empty() && IsBlankChar(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && (IsBlankChar(text.back()) || text.back() == L'\0'))
        text.remove_suffix(1);
    return std::wstring(text);
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

bool EndsWithNoCase(const std::wstring& text, std::wstring_view end) {
    return text.size() >= end.size() && Lower(text.substr(text.size() - end.size())) == end;
}

// "." and ".." of a full path taken away by name alone, as the system does
// before it looks: "C:\a\..\b" is "C:\b", and never above the drive or share.
std::wstring WithoutDots(const std::wstring& path) {
    std::size_t rootEnd = 0;
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\')
        rootEnd = 3;
    else if (path.rfind(L"\\\\", 0) == 0) {
        const std::size_t server = path.find(L'\\', 2);
        const std::size_t share =
            server == std::wstring::npos ? std::wstring::npos : path.find(L'\\', server + 1);
        rootEnd = share == std::wstring::npos ? path.size() : share + 1;
    } else
        return path;
    std::vector<std::wstring> names;
    for (std::size_t start = rootEnd; start < path.size();) {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos)
            end = path.size();
        const std::wstring name = path.substr(start, end - start);
        if (name == L"..") {
            if (!names.empty())
                names.pop_back();
        } else if (!name.empty() && name != L".")
            names.push_back(name);
        start = end + 1;
    }
    std::wstring out = path.substr(0, rootEnd);
    for (std::size_t i = 0; i < names.size(); ++i)
        out += (i ? L"\\" : L"") + names[i];
    return out;
}

// "\\?\C:\x" and "\??\C:\x" (as some installers and Wine write them) as "C:\x".
std::wstring Plain(std::wstring path) {
    path = platform::BackslashSeparators(std::move(path));
    if (path.rfind(L"\\??\\", 0) == 0)
        path.replace(0, 4, L"\\\\?\\");
    return WithoutDots(platform::PlainForm(path));
}

bool IsBareName(const std::wstring& path) {
    return path.find_first_of(L"\\:") == std::wstring::npos;
}

bool HasExtension(const std::wstring& name) {
    return name.find(L'.') != std::wstring::npos;
}

// Seen in a view: the 32-bit view's system folder is the 32-bit one, which a
// 32-bit process sees through the redirection it has anyway.
template <typename Call> auto InView(FileView view, Call call) {
    if (view == FileView::Bits64) {
        platform::FileSystemRedirectionOff seeTheNamedFile;
        return call();
    }
    return call();
}

std::wstring InThirtyTwoBitView(const std::wstring& path) {
    // A 32-bit process is shown the twin by the redirection it has anyway.
    if constexpr (sizeof(void*) == 8)
        return platform::ThirtyTwoBitViewPath(path);
    return path;
}

// While alive, a drive without its medium answers "not ready" at once
// instead of asking the user to insert a disk.
class NoCriticalErrorBox {
  public:
    NoCriticalErrorBox() { ::SetThreadErrorMode(SEM_FAILCRITICALERRORS, &old_); }
    ~NoCriticalErrorBox() { ::SetThreadErrorMode(old_, nullptr); }
    NoCriticalErrorBox(const NoCriticalErrorBox&) = delete;
    NoCriticalErrorBox& operator=(const NoCriticalErrorBox&) = delete;

  private:
    DWORD old_ = 0;
};

bool FileThere(const std::wstring& path, FileView view) {
    NoCriticalErrorBox quiet;
    const auto look = [&](FileView in) {
        const std::wstring seen = in == FileView::Bits32 ? InThirtyTwoBitView(path) : path;
        const DWORD attributes = InView(in, [&] { return platform::Attributes(seen); });
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    };
    if (view == FileView::Either)
        return look(FileView::Bits32) || look(FileView::Bits64);
    return look(view);
}

FileBitness ImageBitness(const std::wstring& path, FileView view) {
    NoCriticalErrorBox quiet;
    const std::wstring seen = view == FileView::Bits32 ? InThirtyTwoBitView(path) : path;
    std::optional<inspection::ImageFile> image =
        InView(view, [&] { return inspection::ImageFile::Open(seen); });
    if (!image)
        return FileBitness::Unknown;
    const inspection::PeHeadersResult pe = inspection::ReadPeHeaders(image->reader());
    if (pe.read != inspection::PeHeadersRead::Read)
        return FileBitness::Unknown;
    switch (pe.headers.machine) {
    case IMAGE_FILE_MACHINE_I386:
        return FileBitness::Bits32;
    case IMAGE_FILE_MACHINE_AMD64:
    case 0xAA64: // ARM64
        return FileBitness::Bits64;
    default:
        return FileBitness::Unknown;
    }
}

std::wstring Expanded(const std::wstring& text) {
    const DWORD need = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (!need)
        return text;
    std::wstring out(need, L'\0');
    const DWORD got = ::ExpandEnvironmentStringsW(text.c_str(), out.data(), need);
    if (!got || got > need)
        return text;
    out.resize(got - 1);
    return out;
}

std::wstring SystemFolder(UINT(WINAPI* call)(LPWSTR, UINT)) {
    wchar_t folder[MAX_PATH];
    const UINT n = call(folder, MAX_PATH);
    return n && n < MAX_PATH ? std::wstring(folder, n) : std::wstring();
}

bool StartsWithNoCase(const std::wstring& text, std::size_t at, std::wstring_view part) {
    return text.size() - at >= part.size() && Lower(text.substr(at, part.size())) == part;
}

} // namespace

std::wstring ViewVariables(const std::wstring& text, FileView view,
                           const std::function<bool(const std::wstring& name)>& defined) {
    if (view == FileView::Either)
        return text;
    struct Renamed {
        std::wstring_view name; // lower case, with its % signs
        std::wstring bits32, bits64;
    };
    static const Renamed renamed[] = {
        {L"%programfiles%", L"ProgramFiles(x86)", L"ProgramW6432"},
        {L"%commonprogramfiles%", L"CommonProgramFiles(x86)", L"CommonProgramW6432"},
    };
    std::wstring out;
    for (std::size_t i = 0; i < text.size();) {
        const Renamed* match = nullptr;
        for (const Renamed& r : renamed)
            if (text[i] == L'%' && StartsWithNoCase(text, i, r.name))
                match = &r;
        const std::wstring* name =
            match ? (view == FileView::Bits32 ? &match->bits32 : &match->bits64) : nullptr;
        if (name && defined(*name)) {
            out += L'%' + *name + L'%';
            i += match->name.size();
        } else
            out += text[i++];
    }
    return out;
}

FileLookups SystemFileLookups() {
    FileLookups lookups;
    lookups.driveType = [](const std::wstring& root) { return ::GetDriveTypeW(root.c_str()); };
    lookups.fileExists = FileThere;
    lookups.bitness = ImageBitness;
    // Where the system has no second folder (32-bit Windows) the variables
    // are not there, and both views expand the plain names alike.
    lookups.expand = [](const std::wstring& text, FileView view) {
        return Expanded(ViewVariables(text, view, [](const std::wstring& name) {
            return ::GetEnvironmentVariableW(name.c_str(), nullptr, 0) != 0;
        }));
    };
    // The loader's order for a name without a folder, less the folders of the
    // process that loads it, which the registry cannot know.
    for (const std::wstring& folder :
         {SystemFolder(::GetSystemDirectoryW), SystemFolder(::GetWindowsDirectoryW)})
        if (!folder.empty())
            lookups.searchFolders.push_back(folder);
    const std::wstring path = platform::EnvironmentVariable(L"PATH");
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find(L';', start);
        if (end == std::wstring::npos)
            end = path.size();
        std::wstring folder = Trimmed(std::wstring_view(path).substr(start, end - start));
        if (folder.size() > 1 && folder.front() == L'"' && folder.back() == L'"')
            folder = folder.substr(1, folder.size() - 2);
        if (platform::IsAbsolutePath(folder))
            lookups.searchFolders.push_back(Expanded(folder));
        start = end + 1;
    }
    return lookups;
}

std::vector<std::wstring>
ServerPathCandidates(std::wstring_view value, ServerValue kind,
                     const std::function<std::wstring(const std::wstring&)>& expand) {
    const std::wstring text = Trimmed(expand(Trimmed(value)));
    std::vector<std::wstring> candidates;
    if (text.empty())
        return candidates;
    if (text.front() == L'"') {
        const std::size_t close = text.find(L'"', 1);
        candidates.push_back(Plain(
            Trimmed(text.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1))));
    } else if (kind == ServerValue::ModulePath) {
        candidates.push_back(Plain(text));
    } else {
        for (std::size_t i = 0; i <= text.size(); ++i)
            if (i == text.size() || (IsBlankChar(text[i]) && i > 0 && !IsBlankChar(text[i - 1])))
                candidates.push_back(Plain(text.substr(0, i)));
    }
    return candidates;
}

ServerFiles::ServerFiles(FileLookups lookups) : lookups_(std::move(lookups)) {}

unsigned ServerFiles::DriveTypeOf(wchar_t letter) {
    letter = static_cast<wchar_t>(std::towupper(letter));
    auto known = drives_.find(letter);
    if (known != drives_.end())
        return known->second;
    const unsigned type = lookups_.driveType(std::wstring{letter, L':', L'\\'});
    drives_.emplace(letter, type);
    return type;
}

FileState ServerFiles::StateOf(const std::wstring& path, FileView view) {
    const auto key = std::make_pair(view, Lower(path));
    auto known = states_.find(key);
    if (known != states_.end())
        return known->second;
    FileState state = FileState::Unknown;
    // A share is never touched: a server that is gone can keep the scan
    // waiting for minutes.
    if (path.rfind(L"\\\\", 0) != 0) {
        const bool drive =
            path.size() >= 3 && path[1] == L':' && path[2] == L'\\' && std::iswalpha(path[0]);
        const unsigned type = drive ? DriveTypeOf(path[0]) : DRIVE_UNKNOWN;
        if (type == DRIVE_FIXED || type == DRIVE_RAMDISK)
            state = lookups_.fileExists(path, view) ? FileState::Present : FileState::Missing;
        else if ((type == DRIVE_REMOVABLE || type == DRIVE_CDROM) &&
                 lookups_.fileExists(path, view))
            state = FileState::Present;
    }
    states_.emplace(key, state);
    return state;
}

ServerFile ServerFiles::Find(const std::wstring& candidate, ServerValue kind, FileView view) {
    if (!IsBareName(candidate))
        return {candidate, platform::IsAbsolutePath(candidate) ? StateOf(candidate, view)
                                                               : FileState::Unknown};
    const std::wstring name =
        HasExtension(candidate)
            ? candidate
            : candidate + (kind == ServerValue::CommandLine ? L".exe" : L".dll");
    FileState state = FileState::Missing;
    for (const std::wstring& folder : lookups_.searchFolders) {
        const std::wstring path = platform::JoinPath(folder, name);
        const FileState here = StateOf(path, view);
        if (here == FileState::Present)
            return {path, here};
        if (here == FileState::Unknown)
            state = here;
    }
    return {candidate, state};
}

ServerFile ServerFiles::Resolve(std::wstring_view value, ServerValue kind, FileView view) {
    // The user's classes serve both bitnesses: a value is read as each would.
    std::vector<std::wstring> candidates;
    for (FileView as : view == FileView::Either
                           ? std::vector<FileView>{FileView::Bits32, FileView::Bits64}
                           : std::vector<FileView>{view})
        for (std::wstring& candidate : ServerPathCandidates(
                 value, kind, [&](const std::wstring& text) { return lookups_.expand(text, as); }))
            if (std::find(candidates.begin(), candidates.end(), candidate) == candidates.end())
                candidates.push_back(std::move(candidate));
    if (candidates.empty())
        return {};
    std::optional<ServerFile> unknown, named;
    for (const std::wstring& candidate : candidates) {
        // A candidate of a command line is a program: the system adds ".exe".
        const bool program =
            candidates.size() > 1 && !IsBareName(candidate) && !EndsWithNoCase(candidate, L".exe");
        for (const std::wstring& path :
             program ? std::vector<std::wstring>{candidate + L".exe", candidate}
                     : std::vector<std::wstring>{candidate}) {
            ServerFile file = Find(path, kind, view);
            if (file.state == FileState::Present)
                return file;
            if (file.state == FileState::Unknown && !unknown)
                unknown = file;
            if (!named && EndsWithNoCase(path, L".exe"))
                named = file;
        }
    }
    if (unknown)
        return *unknown;
    // Gone: the part of a command line that names a program tells the user
    // most; the first word when none does.
    return named ? *named : ServerFile{candidates.front(), FileState::Missing};
}

FileBitness ServerFiles::BitnessOf(const std::wstring& path, FileView view) {
    const auto key = std::make_pair(view, Lower(path));
    auto known = bitnesses_.find(key);
    if (known != bitnesses_.end())
        return known->second;
    const FileBitness bitness = lookups_.bitness(path, view);
    bitnesses_.emplace(key, bitness);
    return bitness;
}

} // namespace calvorn::registration
