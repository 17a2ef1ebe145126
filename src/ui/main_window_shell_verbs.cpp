// The Options tab: the Explorer verbs of the program, switched on and off.

#include "ui/main_window.h"

#include "platform/message_box.h"
#include "platform/path_forms.h"
#include "platform/program_parts.h"
#include "registry/registry_accessor.h"
#include "registry/verb_command.h"
#include "ui/command_button.h"

#include <cwctype>

namespace calvorn::ui {

using platform::Failure;

namespace {

constexpr const wchar_t* kEnabledSentence =
    L"Extensions are Enabled. Click Disable to remove Shell Extensions";
constexpr const wchar_t* kDisabledSentence =
    L"Extensions are Disabled. Click Enable to create Shell Extensions";

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

// The sign that the verbs are installed: a verb of ours for any of the
// associations, so that whatever Enable wrote, Disable is offered to remove.
bool VerbsInstalled(registry::RegistryAccessor& reg) {
    for (const registry::VerbAssociation& association : registry::VerbAssociations())
        if (reg.ShellAssociationInstalled(association.name))
            return true;
    return false;
}

} // namespace

void MainWindow::ShowShellState(bool installed) {
    ButtonCaption(IDC_SHELL_SWITCH, installed ? L"Disable" : L"Enable");
    ControlText(IDC_SHELL_STATE, installed ? kEnabledSentence : kDisabledSentence);
    UpdateShields();
}

void MainWindow::ShellExtensionStateTest() {
    if (ActiveTab() != 2 || !shellRegistry_)
        return;
    ShowShellState(VerbsInstalled(*shellRegistry_));
}

void MainWindow::SwitchShellExtensions() {
    try {
        if (!shellRegistry_)
            throw Failure(platform::Win32Error(ERROR_INVALID_HANDLE));
        registry::RegistryAccessor& reg = *shellRegistry_;
        const CommandButton* button = CommandButton::From(Control(IDC_SHELL_SWITCH));
        // The caption, not the registry, decides the direction.
        const bool enable = button && Upper(button->Caption()) == Upper(L"enable");
        const std::wstring program =
            platform::JoinPath(services_.appPath, platform::OwnProgramFileName());
        reg.ClearError();
        // Every association is done that can be; what cannot is told at the end.
        std::vector<std::wstring> problems;
        for (const registry::VerbAssociation& association : registry::VerbAssociations()) {
            std::vector<std::wstring> more =
                enable ? reg.CreateShellAssociation(program, association.name)
                       : reg.RemoveShellAssociation(program, association.name);
            problems.insert(problems.end(), more.begin(), more.end());
        }
        // The label and the button show what the registry holds now.
        const bool installed = VerbsInstalled(reg);
        ShowShellState(installed);
        const std::wstring message = ShellSwitchMessage(enable, installed, problems);
        if (enable && reg.WriteDenied() && services_.verbsRefused &&
            services_.verbsRefused(message)) {
            ShowShellState(VerbsInstalled(reg));
            return;
        }
        platform::Messages().Show(message, L"",
                                  MB_OK | (problems.empty() && installed == enable
                                               ? MB_ICONINFORMATION
                                               : MB_ICONEXCLAMATION));
    } catch (...) {
        // A button's action is the window's boundary: the user is told.
        if (services_.showError)
            services_.showError(L"cmdShellEX_Click", platform::CurrentFailure());
    }
}

std::wstring ShellSwitchMessage(bool enable, bool installed,
                                const std::vector<std::wstring>& problems) {
    if (problems.empty() && installed == enable)
        return enable ? L"Shell Extensions Enabled!" : L"Shell Extensions Disabled!";
    std::wstring text = enable ? (installed ? L"Shell Extensions Enabled, except:"
                                            : L"Shell Extensions could not be enabled:")
                               : (installed ? L"Shell Extensions could not all be removed:"
                                            : L"Shell Extensions Disabled, except:");
    for (const std::wstring& problem : problems)
        text += L"\r\n" + problem;
    if (problems.empty())
        text += L"\r\nThe registry does not show the change.";
    return text;
}

} // namespace calvorn::ui
