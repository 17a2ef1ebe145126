#include "inspection/registration_health.h"

#include <cwctype>

namespace calvorn::inspection {

namespace {

std::wstring Folded(std::wstring text) {
    for (wchar_t& c : text)
        c = c == L'/' ? L'\\' : static_cast<wchar_t>(std::towlower(c));
    return text;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return Folded(a) == Folded(b);
}

std::wstring WithoutExtendedPrefix(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0)
        return L"\\\\" + path.substr(8);
    if (path.rfind(L"\\\\?\\", 0) == 0)
        return path.substr(4);
    return path;
}

std::wstring Trimmed(const std::wstring& text) {
    const std::size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos)
        return {};
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

// A library registered from a module names the module, and its resource
// number when it is not the first ("C:\x.dll\2").
std::wstring WithoutResourceIndex(const std::wstring& path) {
    const std::size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos || slash + 1 == path.size())
        return path;
    for (std::size_t i = slash + 1; i < path.size(); ++i)
        if (!std::iswdigit(path[i]))
            return path;
    return path.substr(0, slash);
}

std::wstring TargetPath(const ExpectedEntry& entry) {
    const std::wstring base =
        entry.kind == EntryKind::Class ? L"CLSID\\" + entry.id : L"TypeLib\\" + entry.id;
    return base + L"\\" + entry.target;
}

// The key whose presence says that the entry is registered at all.
std::wstring MainKey(const ExpectedEntry& entry) {
    switch (entry.kind) {
    case EntryKind::Class:
        return L"CLSID\\" + entry.id;
    case EntryKind::ProgId:
        return entry.id;
    case EntryKind::TypeLib:
        // The version's key holds every platform's registration; another
        // platform's (a 32-bit build of the same library) is not this one.
        return TargetPath(entry);
    case EntryKind::Interface:
        break;
    }
    return L"Interface\\" + entry.id;
}

class EntryCheck {
  public:
    EntryCheck(const ExpectedRegistration& expected, const IRegistrationState& state)
        : state_(state), file_(Folded(WithoutExtendedPrefix(state.Resolved(expected.file)))) {}

    EntryHealth In(const ExpectedEntry& entry, ClassesPlace place) const {
        EntryHealth health;
        health.entry = entry;
        health.place = place;
        if (!state_.HasKey(place, MainKey(entry))) {
            health.state = EntryState::Missing;
            return health;
        }
        switch (entry.kind) {
        case EntryKind::Class:
        case EntryKind::TypeLib:
            if (entry.target.empty())
                health.state = EntryState::Here;
            else
                PointsToFile(health, place);
            break;
        case EntryKind::ProgId:
            PointsTo(health, place, entry.id + L"\\CLSID", true);
            break;
        case EntryKind::Interface:
            PointsTo(health, place, L"Interface\\" + entry.id + L"\\TypeLib", false);
            break;
        }
        if (health.state == EntryState::Here)
            for (const std::wstring& key : entry.keys)
                if (!state_.HasKey(place, key))
                    health.missingKeys.push_back(key);
        if (!health.missingKeys.empty() && health.state == EntryState::Here)
            health.state = EntryState::Partly;
        return health;
    }

  private:
    bool IsThisFile(const std::wstring& registered) const {
        const std::wstring path = Folded(WithoutExtendedPrefix(state_.Resolved(registered)));
        return path == file_ || SameText(WithoutResourceIndex(path), file_);
    }

    void Other(EntryHealth& health, const std::wstring& registered) const {
        health.state = EntryState::Elsewhere;
        health.otherIsFile = true;
        health.other = WithoutExtendedPrefix(state_.Resolved(registered));
        if (!state_.FileExists(health.other) &&
            state_.FileExists(WithoutResourceIndex(health.other)))
            health.other = WithoutResourceIndex(health.other);
        health.otherExists = state_.FileExists(health.other);
        if (health.otherExists)
            health.otherVersion = state_.FileVersion(health.other);
    }

    void PointsToFile(EntryHealth& health, ClassesPlace place) const {
        const ExpectedEntry& entry = health.entry;
        const std::wstring key = TargetPath(entry);
        const std::optional<std::wstring> line = state_.Value(place, key);
        if (!line || Trimmed(*line).empty()) {
            health.state = EntryState::Partly;
            health.missingKeys.push_back(key);
            return;
        }
        const bool commandLine =
            entry.kind == EntryKind::Class && SameText(entry.target, L"LocalServer32");
        const std::wstring registered = ServerFileOf(*line, commandLine);
        if (IsThisFile(registered))
            health.state = EntryState::Here;
        else
            Other(health, registered);
    }

    // A ProgID names its class and an interface its library: another one
    // there is another registration, told by that class's server file when
    // it has one.
    void PointsTo(EntryHealth& health, ClassesPlace place, const std::wstring& key,
                  bool toClass) const {
        // An interface registered without a library (a proxy/stub one) has
        // nothing to point to: its key is its registration.
        if (health.entry.target.empty()) {
            health.state = EntryState::Here;
            return;
        }
        const std::optional<std::wstring> named = state_.Value(place, key);
        if (!named) {
            health.state = EntryState::Partly;
            health.missingKeys.push_back(key);
            return;
        }
        if (SameText(Trimmed(*named), health.entry.target)) {
            health.state = EntryState::Here;
            return;
        }
        health.state = EntryState::Elsewhere;
        health.other = Trimmed(*named);
        if (!toClass)
            return;
        for (const wchar_t* server : {L"InprocServer32", L"LocalServer32"}) {
            const auto line = state_.Value(place, L"CLSID\\" + health.other + L"\\" + server);
            if (line && !Trimmed(*line).empty()) {
                const std::wstring registered = ServerFileOf(*line, server[0] == L'L');
                if (IsThisFile(registered))
                    health.state = EntryState::Here;
                else
                    Other(health, registered);
                return;
            }
        }
    }

    const IRegistrationState& state_;
    std::wstring file_;
};

} // namespace

std::wstring ServerFileOf(const std::wstring& line, bool commandLine) {
    const std::wstring text = Trimmed(line);
    if (!text.empty() && text[0] == L'"') {
        const std::size_t close = text.find(L'"', 1);
        return text.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
    }
    if (!commandLine)
        return text;
    // "C:\Program Files\App\server.exe /automation": the arguments follow
    // the program's name, which ends in ".exe" as the loader completes it.
    const std::wstring folded = Folded(text);
    for (std::size_t at = folded.find(L".exe"); at != std::wstring::npos;
         at = folded.find(L".exe", at + 1)) {
        const std::size_t end = at + 4;
        if (end == text.size() || text[end] == L' ' || text[end] == L'\t')
            return text.substr(0, end);
    }
    const std::size_t blank = text.find_first_of(L" \t");
    return blank == std::wstring::npos ? text : text.substr(0, blank);
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return Folded(WithoutExtendedPrefix(a)) == Folded(WithoutExtendedPrefix(b));
}

RegistrationHealth CheckRegistration(const ExpectedRegistration& expected,
                                     const IRegistrationState& state) {
    RegistrationHealth result;
    const EntryCheck check(expected, state);
    for (const ExpectedEntry& entry : expected.entries) {
        EntryHealth health = check.In(entry, ClassesPlace::User);
        if (health.state == EntryState::Missing)
            health = check.In(entry, ClassesPlace::OwnView);
        if (health.state == EntryState::Missing) {
            // Seen by programs of the other bitness only: not registered for
            // this component's, but worth naming. ProgIDs and libraries are
            // keys both bitnesses share on 64-bit Windows, wherever a view's
            // reader happens to find them.
            EntryHealth other = check.In(entry, ClassesPlace::OtherView);
            if (other.state != EntryState::Missing &&
                (entry.kind == EntryKind::ProgId || entry.kind == EntryKind::TypeLib)) {
                other.place = ClassesPlace::OwnView;
                health = std::move(other);
            } else if (other.state != EntryState::Missing) {
                other.state = EntryState::Missing;
                other.missingKeys.clear();
                health = std::move(other);
            }
        }
        result.entries.push_back(std::move(health));
    }
    if (result.entries.empty())
        return result;
    bool allHere = true, allMissing = true;
    for (const EntryHealth& e : result.entries) {
        allHere = allHere && e.state == EntryState::Here;
        allMissing = allMissing && e.state == EntryState::Missing;
        if (result.verdict != Verdict::Elsewhere && e.state == EntryState::Elsewhere &&
            e.otherIsFile) {
            result.verdict = Verdict::Elsewhere;
            result.otherPath = e.other;
            result.otherExists = e.otherExists;
            result.otherVersion = e.otherVersion;
        }
    }
    if (result.verdict != Verdict::Elsewhere)
        result.verdict = allHere      ? Verdict::Here
                         : allMissing ? Verdict::NotRegistered
                                      : Verdict::Partly;
    return result;
}

namespace {

std::wstring FileNote(bool exists, const std::wstring& version) {
    if (!exists)
        return L"file not found";
    return version.empty() ? L"no version" : version;
}

} // namespace

VerdictRow VerdictRowOf(Verdict verdict) {
    using app::ExitCode;
    switch (verdict) {
    case Verdict::Here:
        return {L"registered", L"Registered here", ExitCode::Success};
    case Verdict::Elsewhere:
        return {L"registered-elsewhere", L"Registered to another copy",
                ExitCode::RegisteredElsewhere};
    case Verdict::Partly:
        return {L"partly-registered", L"Partly registered", ExitCode::PartlyRegistered};
    case Verdict::NotRegistered:
        return {L"not-registered", L"Not registered", ExitCode::NotRegistered};
    case Verdict::Nothing:
        break;
    }
    // A file that registers nothing is, for a script, one that is not
    // registered; its column stays empty.
    return {L"", L"Registers nothing", ExitCode::NotRegistered};
}

std::wstring VerdictText(const RegistrationHealth& health) {
    std::wstring text = VerdictRowOf(health.verdict).text;
    if (health.verdict == Verdict::Elsewhere)
        text += L": " + health.otherPath + L" (" +
                FileNote(health.otherExists, health.otherVersion) + L")";
    return text;
}

std::wstring VerdictWord(Verdict verdict) {
    return VerdictRowOf(verdict).word;
}

std::wstring EntryKindWord(EntryKind kind) {
    switch (kind) {
    case EntryKind::Class:
        return L"class";
    case EntryKind::ProgId:
        return L"progid";
    case EntryKind::TypeLib:
        return L"typelib";
    case EntryKind::Interface:
        break;
    }
    return L"interface";
}

std::wstring EntryStateWord(EntryState state) {
    switch (state) {
    case EntryState::Here:
        return L"here";
    case EntryState::Elsewhere:
        return L"elsewhere";
    case EntryState::Partly:
        return L"partly";
    case EntryState::Missing:
        break;
    }
    return L"missing";
}

std::wstring EntryKindText(EntryKind kind) {
    switch (kind) {
    case EntryKind::Class:
        return L"Class";
    case EntryKind::ProgId:
        return L"ProgID";
    case EntryKind::TypeLib:
        return L"Type library";
    case EntryKind::Interface:
        break;
    }
    return L"Interface";
}

std::wstring EntryName(const ExpectedEntry& entry) {
    switch (entry.kind) {
    case EntryKind::Class:
    case EntryKind::Interface:
        return entry.name.empty() ? entry.id : entry.name + L" " + entry.id;
    case EntryKind::ProgId:
        return entry.id;
    case EntryKind::TypeLib:
        break;
    }
    return entry.id + L" " + entry.target.substr(0, entry.target.find(L'\\'));
}

std::wstring EntryLabel(const ExpectedEntry& entry) {
    return EntryKindText(entry.kind) + L" " + EntryName(entry);
}

std::wstring EntryFact(const EntryHealth& health) {
    const std::wstring where = health.place == ClassesPlace::User ? L" (this user)" : L"";
    switch (health.state) {
    case EntryState::Here:
        return L"Registered here" + where;
    case EntryState::Elsewhere:
        if (!health.otherIsFile)
            return L"Registered to " + health.other + where;
        return L"Registered to another file: " + health.other + L" (" +
               FileNote(health.otherExists, health.otherVersion) + L")" + where;
    case EntryState::Partly: {
        std::wstring text = L"Partly registered" + where + L", missing ";
        for (std::size_t i = 0; i < health.missingKeys.size(); ++i) {
            if (i)
                text += L", ";
            text += health.missingKeys[i];
        }
        return text;
    }
    case EntryState::Missing:
        break;
    }
    if (health.place == ClassesPlace::OtherView)
        return L"Not registered (only in the other bitness's view)";
    return L"Not registered";
}

} // namespace calvorn::inspection
