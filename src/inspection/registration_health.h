#pragma once
// Whether the machine's registry holds a component's registration, and for
// which file: each class, ProgID, type-library version and interface the
// component registers, looked up in the user's own classes and in the
// machine's classes of the component's bitness, and one verdict for the file.
// Free of Windows headers: the registry and the file system come through
// IRegistrationState, so the logic is tested over a fake.

#include "app/exit_codes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace calvorn::inspection {

// Where an entry is looked for. The user's classes win over the machine's,
// as the merged classes root gives them to every program of that user; the
// other bitness's view is only read to say why an entry is not seen.
enum class ClassesPlace : std::uint8_t { User, OwnView, OtherView };

class IRegistrationState {
  public:
    virtual ~IRegistrationState() = default;
    // `key` is below the place's classes root ("CLSID\{...}\InprocServer32").
    virtual bool HasKey(ClassesPlace place, const std::wstring& key) const = 0;
    // A value of the key (the default value for an empty name); empty when
    // the key or the value is not there.
    virtual std::optional<std::wstring> Value(ClassesPlace place, const std::wstring& key,
                                              const std::wstring& name = {}) const = 0;
    // A path as the loader resolves it: environment variables expanded and
    // the short names of its folders made long. The path itself when that
    // cannot be done.
    virtual std::wstring Resolved(const std::wstring& path) const = 0;
    virtual bool FileExists(const std::wstring& path) const = 0;
    // The file's version ("1.2.3.4"); empty when it has none.
    virtual std::wstring FileVersion(const std::wstring& path) const = 0;
};

enum class EntryKind : std::uint8_t { Class, ProgId, TypeLib, Interface };

// One thing a component registers, and what its registration consists of.
struct ExpectedEntry {
    EntryKind kind = EntryKind::Class;
    std::wstring id;   // CLSID, ProgID, library GUID or IID
    std::wstring name; // what the component calls it; may be empty
    // Class: "InprocServer32" or "LocalServer32" (empty for a class without
    // a server of its own: its key is its registration). ProgID: the CLSID
    // it names.
    // Type library: the version key ("1.0") and the locale and platform
    // ("0\win32"), as "1.0\0\win32". Interface: its library's GUID.
    std::wstring target;
    // Further keys the registration writes, relative to the classes root;
    // one that is missing makes the entry partly registered.
    std::vector<std::wstring> keys;
};

// Where the expected entries came from, said in the report.
enum class EntrySource : std::uint8_t { TypeLibrary, RegistrationCode };

struct ExpectedRegistration {
    std::wstring file; // the component's full path
    bool is64Bit = false;
    EntrySource source = EntrySource::TypeLibrary;
    // From the type library although the component's own code was asked
    // for: why that code did not run (an EXE server, a failed load).
    std::wstring codeNotRun;
    std::vector<ExpectedEntry> entries;
    // RegistrationCode: the machine's keys that changed while that code ran;
    // no value when that could not be watched.
    std::optional<std::vector<std::wstring>> machineChanges;
};

enum class EntryState : std::uint8_t { Here, Elsewhere, Missing, Partly };

struct EntryHealth {
    ExpectedEntry entry;
    EntryState state = EntryState::Missing;
    // Where the entry was found; for a missing entry, OtherView when that
    // view alone holds it.
    ClassesPlace place = ClassesPlace::OwnView;
    // Elsewhere: what the entry points to instead. `otherIsFile` tells a
    // file path from another class or library.
    std::wstring other;
    bool otherIsFile = false;
    bool otherExists = false;
    std::wstring otherVersion;
    // Partly: the keys that are not there.
    std::vector<std::wstring> missingKeys;
};

enum class Verdict : std::uint8_t { Nothing, Here, Elsewhere, Partly, NotRegistered };

struct RegistrationHealth {
    Verdict verdict = Verdict::Nothing;
    // Elsewhere: the first other file that an entry points to.
    std::wstring otherPath;
    bool otherExists = false;
    std::wstring otherVersion;
    std::vector<EntryHealth> entries;
};

RegistrationHealth CheckRegistration(const ExpectedRegistration& expected,
                                     const IRegistrationState& state);

// "Registered here", "Registered to another copy: <path> (<version>)",
// "Partly registered", "Not registered"; "Registers nothing" for no entries.
std::wstring VerdictText(const RegistrationHealth& health);
// Every verdict's words and exit code, in one place: the word for columns
// and log lines ("registered", "registered-elsewhere", "partly-registered",
// "not-registered"; empty for no entries), the text without its details, and
// the code a check that ends in it exits with.
struct VerdictRow {
    const wchar_t* word;
    const wchar_t* text;
    app::ExitCode code;
};
VerdictRow VerdictRowOf(Verdict verdict);
std::wstring VerdictWord(Verdict verdict);
// The label and fact of one entry ("Class ProbeThing {...}", "Registered
// here"); the label is the kind ("Class") and the entry's name ("ProbeThing
// {...}"), which the report grid shows apart.
std::wstring EntryLabel(const ExpectedEntry& entry);
std::wstring EntryKindText(EntryKind kind);
std::wstring EntryName(const ExpectedEntry& entry);
std::wstring EntryFact(const EntryHealth& health);
std::wstring EntryKindWord(EntryKind kind);    // "class", "progid", "typelib", "interface"
std::wstring EntryStateWord(EntryState state); // "here", "elsewhere", "missing", "partly"

// The file a server line names: the text inside its quotes, or for a
// LocalServer32 line without quotes the path before its arguments.
std::wstring ServerFileOf(const std::wstring& line, bool commandLine);
// True when two paths name one file as the loader compares them: without
// regard to case, to "/" for "\", or to the "\\?\" prefix. Both are
// expected resolved (IRegistrationState::Resolved).
bool SamePath(const std::wstring& a, const std::wstring& b);

} // namespace calvorn::inspection
