#pragma once
// What the package's removal does to the Explorer verbs, apart from the
// installer's handle so that it can be run and tested on its own.

#include <functional>
#include <string>
#include <vector>

namespace calvorn::packaging {

// Removes the verbs of every association for which a verb of ours starts
// one of `programs` (full paths), as the program wrote them; verbs that
// start a copy elsewhere (the portable zip) keep working after the package
// is gone, so they stay, as does every verb of another program. Tells
// `log` each association it removed the verbs of.
void RemoveVerbsOfPrograms(const std::vector<std::wstring>& programs,
                           const std::function<void(const std::wstring&)>& log);

} // namespace calvorn::packaging
