#pragma once
// What a registration's health asks about a server it names: which file the
// registered value means, whether that file is there, what bitness it is
// built for, and whether it lies where it cannot be checked. The machine scan
// and a file's verdict both ask through this one cache, so that a file named
// by a thousand classes is looked at once.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace calvorn::registration {

// The file system a path is looked at through: in the 32-bit view the system
// folder's name means the 32-bit system folder, as it does for the 32-bit
// code that loads the server. The user's own classes serve both bitnesses.
enum class FileView : std::uint8_t { Bits32, Bits64, Either };

enum class FileState : std::uint8_t {
    Present,
    Missing,
    // On a network share, a mapped network drive, a removable drive or a drive
    // that is not there now: what is not seen may be there later.
    Unknown,
};

enum class FileBitness : std::uint8_t { Unknown, Bits32, Bits64 };

// How a registered value names its file.
enum class ServerValue : std::uint8_t {
    // InprocServer32, a type library's win32/win64: the whole value is the
    // path (quotes around it are dropped); a bare name is found as the
    // loader finds a DLL.
    ModulePath,
    // LocalServer32: a program and its arguments, the program quoted or not.
    CommandLine,
};

struct ServerFile {
    // The file as found, or (when not found) the path the value names.
    std::wstring path;
    FileState state = FileState::Missing;
};

// The system's answers, apart so that tests can stand in for them.
struct FileLookups {
    // GetDriveType of a root such as "C:\".
    std::function<unsigned(const std::wstring& root)> driveType;
    // Whether a file (not a folder) is at the path, seen in the view.
    std::function<bool(const std::wstring& path, FileView view)> fileExists;
    // The bitness the PE headers of the file name; Unknown when unreadable.
    std::function<FileBitness(const std::wstring& path, FileView view)> bitness;
    // The folders a bare file name is searched in, in order.
    std::vector<std::wstring> searchFolders;
    // Expands %NAME% as the system would for code of the view's bitness:
    // %ProgramFiles% and %CommonProgramFiles% name the 32-bit folders in the
    // 32-bit view, whatever bitness this program is.
    std::function<std::wstring(const std::wstring& text, FileView view)> expand;
};

// The lookups of the running system, for the views a process of this
// bitness can see.
FileLookups SystemFileLookups();

// The text with %ProgramFiles% and %CommonProgramFiles% renamed to the
// variables that hold the view's folders whatever the process's bitness
// (%ProgramW6432%, %ProgramFiles(x86)% ...), where `defined` says the system
// has them; the rest is left for the system's expansion.
std::wstring ViewVariables(const std::wstring& text, FileView view,
                           const std::function<bool(const std::wstring& name)>& defined);

// The candidate paths a value names, before any lookup: expanded, unquoted,
// "\\?\" and "\??\" forms made plain, "/" taken as "\", "." and ".." taken
// away (so the folder a view maps is judged by the name the path really
// ends in). A command line
// without quotes gives every prefix that ends before a blank, shortest first,
// as the system tries them when it starts the program.
std::vector<std::wstring>
ServerPathCandidates(std::wstring_view value, ServerValue kind,
                     const std::function<std::wstring(const std::wstring&)>& expand);

class ServerFiles {
  public:
    explicit ServerFiles(FileLookups lookups);

    // The file a registered value names, and whether it is there.
    ServerFile Resolve(std::wstring_view value, ServerValue kind, FileView view);
    // The bitness of a present file (see Resolve); read once per path.
    FileBitness BitnessOf(const std::wstring& path, FileView view);
    // For a second look that must not take the first one's answers.
    const FileLookups& Lookups() const { return lookups_; }

  private:
    FileState StateOf(const std::wstring& path, FileView view);
    ServerFile Find(const std::wstring& candidate, ServerValue kind, FileView view);
    unsigned DriveTypeOf(wchar_t letter);

    FileLookups lookups_;
    std::map<std::pair<FileView, std::wstring>, FileState> states_;
    std::map<std::pair<FileView, std::wstring>, FileBitness> bitnesses_;
    std::map<wchar_t, unsigned> drives_;
};

} // namespace calvorn::registration
