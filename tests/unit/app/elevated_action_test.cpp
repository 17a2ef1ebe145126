// The second run that carries out one machine-wide action as administrator:
// its command line reads back as the same action on the same file, asks
// nothing, and its exit code is told in words.

#include "app/command_line.h"
#include "app/elevated_action.h"
#include "app/exit_codes.h"

#include <gtest/gtest.h>

using namespace calvorn::app;

TEST(ElevatedAction, TheCommandLineIsTheQuietSameActionOnTheSameFile) {
    struct Case {
        MachineAction action;
        CommandAction parsed;
    } cases[] = {{MachineAction::Register, CommandAction::Register},
                 {MachineAction::Unregister, CommandAction::Unregister}};
    for (const Case& c : cases) {
        for (const std::wstring path : {L"C:\\a.dll", L"C:\\Program Files\\x y\\b c.ocx",
                                        L"\\\\server\\share\\Ωμέγα ü.dll", L"C:\\-u\\-user.dll"}) {
            const Command command = ParseCommand(ElevatedArguments(c.action, path), L"C:\\app\\");
            EXPECT_TRUE(command.quiet);
            EXPECT_TRUE(command.error.empty()) << command.error;
            EXPECT_EQ(command.action, c.parsed);
            EXPECT_FALSE(command.perUser);
            ASSERT_EQ(command.paths.size(), 1u);
            EXPECT_EQ(command.paths[0], path);
        }
    }
    const Command verbs = ParseCommand(ElevatedArguments(MachineAction::InstallVerbs, {}), {});
    EXPECT_TRUE(verbs.quiet);
    EXPECT_EQ(verbs.action, CommandAction::InstallVerbs);
    const Command fix = ParseCommand(ElevatedArguments(MachineAction::Fix, {}), {});
    EXPECT_EQ(fix.action, CommandAction::ScanMachine);
    EXPECT_TRUE(fix.fix);
}

TEST(ElevatedAction, TheHintAndTheSecondRunsOutcomeInWords) {
    EXPECT_NE(ElevationHint(MachineAction::Register, false).find(L"-user"), std::wstring::npos);
    // Already for this user only, or not a registration: -user is no way out.
    EXPECT_EQ(ElevationHint(MachineAction::Register, true).find(L"-user"), std::wstring::npos);
    EXPECT_EQ(ElevationHint(MachineAction::Fix, false).find(L"-user"), std::wstring::npos);

    EXPECT_EQ(ElevatedOutcomeText(MachineAction::Register, 0),
              L"Registered for all users, as administrator.");
    EXPECT_EQ(ElevatedOutcomeText(MachineAction::Register, 21)
                  .rfind(L"The run as administrator failed (needs-elevation): ", 0),
              0u);
    EXPECT_EQ(ElevatedOutcomeText(MachineAction::InstallVerbs, 11)
                  .rfind(L"The run as administrator failed (verbs-failed)", 0),
              0u);
    EXPECT_EQ(ElevatedOutcomeText(MachineAction::Unregister, 0xC0000005),
              L"The run as administrator ended with exit code 3221225477.");
    EXPECT_EQ(RowOf(ExitCode::NeedsElevation).word, std::wstring(L"needs-elevation"));
}
