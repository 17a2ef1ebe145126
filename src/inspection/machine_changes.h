#pragma once
// How a check or an export tells what it knows of the machine after a
// component's registration code ran against the capture: unchanged only when
// that was watched, and each key that changed by name.

#include <optional>
#include <string>
#include <vector>

namespace calvorn::inspection {

// "the machine was not changed.", "the machine's keys changed while it ran:
// HKLM\...; HKCC\... ." or, when nothing was watched, that it was not.
inline std::wstring MachineChangesText(const std::optional<std::vector<std::wstring>>& changes) {
    if (!changes)
        return L"whether the machine was changed could not be watched.";
    if (changes->empty())
        return L"the machine was not changed.";
    std::wstring text = L"the machine's keys changed while it ran: ";
    for (std::size_t i = 0; i < changes->size(); ++i)
        text += (i ? L"; " : L"") + (*changes)[i];
    return text + L".";
}

// The same as a sentence of its own: "The machine's keys changed while it ran: ...".
inline std::wstring
MachineChangesSentence(const std::optional<std::vector<std::wstring>>& changes) {
    std::wstring text = MachineChangesText(changes);
    text[0] = static_cast<wchar_t>(text[0] - L'a' + L'A');
    return text;
}

} // namespace calvorn::inspection
