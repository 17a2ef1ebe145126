// Arbitrary argument text through the command-line grammar and the path rule.

#include "app/command_line.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring text;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    const std::wstring app = L"C:\\Program Files\\Calvorn\\";

    calvorn::app::ArgumentsOf(text);
    auto items = calvorn::app::SplitArguments(text);
    if (items.empty())
        __builtin_trap();
    if (text.find(L'"') != std::wstring::npos && items.size() != 2)
        __builtin_trap();
    auto cmd = calvorn::app::ParseCommand(text, app);
    if (cmd.quiet) {
        // A quiet line that is accepted always has what its action needs.
        using calvorn::app::CommandAction;
        const bool registration =
            cmd.action == CommandAction::Register || cmd.action == CommandAction::Unregister;
        if (cmd.error.empty() &&
            ((registration && cmd.paths.empty()) ||
             (cmd.action == CommandAction::FolderReport && cmd.paths.size() != 1) ||
             cmd.action == CommandAction::OpenReport))
            __builtin_trap();
        for (const auto& path : cmd.paths)
            if (cmd.error.empty() && path.empty())
                __builtin_trap();
        for (const auto& word : calvorn::app::SplitQuietWords(text))
            if (!word.quoted && word.text.empty())
                __builtin_trap();
        return 0;
    }
    // A relative path always ends up under the program folder, whole or cut.
    for (const std::wstring* path : {&cmd.path, &cmd.wholePath})
        if (!path->empty() && path->find(L":\\") == std::wstring::npos &&
            path->rfind(L"\\\\", 0) != 0)
            __builtin_trap();
    return 0;
}
