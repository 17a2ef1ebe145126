#pragma once
// Where the program's own parts are: the program of each bitness, the
// registration hosts and the type-library helpers. A part of a bitness is
// looked for beside the running program first (the portable folder), then in
// the Calvorn folder of that bitness's Program Files (the installed layout).

#include <optional>
#include <string>

namespace calvorn::platform {

enum class Bitness { x86, x64 };
enum class ProgramPart { Program, RegistrationHost, TypeLibHelper };

// True on 64-bit Windows, where a registry view of the other bitness exists.
bool SixtyFourBitWindows();

constexpr Bitness OwnBitness() {
    return sizeof(void*) == 8 ? Bitness::x64 : Bitness::x86;
}

// "calvorn.exe" / "calvorn64.exe", "calvorn-reghost32.exe", ...
std::wstring PartFileName(ProgramPart part, Bitness bitness);

// The running program's own file name: what the Explorer verbs start, so a
// 64-bit copy's verbs start the 64-bit copy.
inline std::wstring OwnProgramFileName() {
    return PartFileName(ProgramPart::Program, OwnBitness());
}

// The full path of the part; empty when it is in neither place.
std::optional<std::wstring> LocatePart(ProgramPart part, Bitness bitness);

} // namespace calvorn::platform
