#include "app/window_elevation.h"

#include "app/elevated_action.h"
#include "app/startup.h"
#include "app/startup_helpers.h"
#include "platform/elevation.h"
#include "platform/message_box.h"
#include "platform/path_forms.h"
#include "platform/program_parts.h"
#include "registration/registration_prompter.h"
#include "ui/elevation_offer.h"
#include "ui/main_window.h"

#include <windows.h>

namespace calvorn::app {

using registration::Operation;

namespace {

HWND OfferOwner() {
    return App().windowsBuilt ? ui::TheMainWindow().Hwnd() : nullptr;
}

// The program's own file: the second run is the same program, of the same
// bitness, so that it registers the component as this one would have.
std::wstring OwnProgram() {
    return platform::JoinPath(InitAppPath(), platform::OwnProgramFileName());
}

// The exit code of the last run as administrator that the offer started.
std::optional<unsigned long> g_elevatedExit;

void TellElevatedRun(MachineAction action, const std::wstring& path, platform::WaitStyle wait,
                     const std::wstring& title) {
    const platform::ElevatedRun run =
        platform::RunElevated(OwnProgram(), ElevatedArguments(action, path), wait);
    g_elevatedExit = run.exitCode;
    if (run.exitCode) {
        const bool done = *run.exitCode == 0;
        platform::Messages().Show(ElevatedOutcomeText(action, *run.exitCode), title,
                                  MB_OK | (done ? MB_ICONASTERISK : MB_ICONEXCLAMATION));
    } else if (run.error == ERROR_CANCELLED) {
        platform::Messages().Show(L"The run as administrator was cancelled: nothing was changed.",
                                  title, MB_OK | MB_ICONEXCLAMATION);
    } else {
        platform::Messages().Show(
            L"The program could not be started as administrator.\n" +
                registration::DescribeCode(HRESULT_FROM_WIN32(run.error), false),
            title, MB_OK | MB_ICONHAND);
    }
}

// "ActiveX Component registration failed!" and the lines below it.
std::pair<std::wstring, std::wstring> HeadingAndDetail(const std::wstring& text) {
    const size_t end = text.find(L'\n');
    if (end == std::wstring::npos)
        return {text, {}};
    // The messages end their lines either way; the dialog wants neither at
    // the heading's end.
    const size_t headingEnd = end > 0 && text[end - 1] == L'\r' ? end - 1 : end;
    return {text.substr(0, headingEnd), text.substr(end + 1)};
}

} // namespace

void OfferElevationOnRefusal(registration::RegistrationPrompter& prompter) {
    if (platform::RunsElevated())
        return;
    prompter.OnRefused([&prompter](Operation operation, const std::wstring& file) {
        g_elevatedExit.reset();
        // This user's own classes: more rights would not change the refusal.
        if (operation == Operation::Export || prompter.Options().perUser)
            return false;
        const auto message = registration::MessageFor(operation, prompter.LastOutcome());
        if (!message)
            return false;
        auto [heading, detail] = HeadingAndDetail(message->text);
        detail += L"\nRegistering for all users needs the administrator's rights.";
        const bool registering = operation == Operation::Register;
        const ui::ElevationOffer offer{message->title, heading, detail, registering};
        switch (ui::AskToElevate(OfferOwner(), offer)) {
        case ui::OfferChoice::AsAdministrator:
            TellElevatedRun(registering ? MachineAction::Register : MachineAction::Unregister, file,
                            prompter.Options().wait, message->title);
            return true;
        case ui::OfferChoice::ForMeOnly: {
            // The same file through the same prompter: its outcome is told
            // as any per-user registration's.
            bool& perUser = prompter.Options().perUser;
            perUser = true;
            prompter.RegisterActiveX(file);
            perUser = false;
            return true;
        }
        case ui::OfferChoice::Close:
            return true;
        }
        return false;
    });
}

std::optional<unsigned long> ElevatedRunExitCode() {
    return g_elevatedExit;
}

bool OfferElevatedVerbs(const std::wstring& message) {
    if (platform::RunsElevated())
        return false;
    auto [heading, detail] = HeadingAndDetail(message);
    detail += L"\nThe Explorer verbs are written for all users, which needs the administrator's "
              L"rights.";
    const std::wstring title = platform::DefaultTitle();
    if (ui::AskToElevate(OfferOwner(), {title, heading, detail, false}) ==
        ui::OfferChoice::AsAdministrator)
        TellElevatedRun(MachineAction::InstallVerbs, {}, platform::WaitStyle::PumpMessages, title);
    return true;
}

} // namespace calvorn::app
