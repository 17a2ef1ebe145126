#include "app/window_export.h"

#include "app/folder_records.h"
#include "app/quiet_export.h"
#include "inspection/machine_changes.h"
#include "platform/message_box.h"
#include "registration/export/export_writer.h"

#include <windows.h>

namespace calvorn::app {

void ExportFromWindow(registration::RegistrationPrompter& prompter, const std::wstring& file,
                      registration::ExportFormat format, const std::wstring& out) {
    using registration::Operation;
    const registration::EngineOutcome& outcome = prompter.Export(file);
    const std::wstring title = L"Calvorn - Exporting";
    // What reached the machine is not in the capture: nothing is exported.
    if (outcome.machineChanges && !outcome.machineChanges->empty()) {
        platform::Messages().Show(L"Nothing was exported.\n" +
                                      inspection::MachineChangesSentence(outcome.machineChanges),
                                  title, MB_OK | MB_ICONHAND);
        return;
    }
    if (!outcome.captured) {
        if (auto message = registration::MessageFor(Operation::Export, outcome))
            platform::Messages().Show(message->text, message->title, message->flags);
        return;
    }
    registration::ExportOptions options;
    options.perUser = prompter.Options().perUser;
    const registration::ExportedFile exported = ExportedFileOf(outcome, file);
    std::optional<unsigned long> error;
    try {
        error = WriteExportFile(registration::WriterFor(format).write({exported}, options), out);
    } catch (const std::bad_alloc&) {
        error = ERROR_NOT_ENOUGH_MEMORY;
    } catch (const registration::UnwritableName& refused) {
        platform::Messages().Show(L"The export was not written to \"" + out + L"\"!\nThe key \"" +
                                      VisibleText(refused.Entry()) + L"\": " + refused.Reason() +
                                      L".",
                                  title, MB_OK | MB_ICONHAND);
        return;
    }
    if (error) {
        platform::Messages().Show(L"The export could not be written to \"" + out + L"\"!\n" +
                                      registration::DescribeCode(HRESULT_FROM_WIN32(*error), false),
                                  title, MB_OK | MB_ICONHAND);
        return;
    }
    // Written all the same: what the component did is what the file says.
    if (exported.registration.keys.empty()) {
        platform::Messages().Show(L"The entry point succeeded, but wrote nothing to the "
                                  L"registry.\nExported to \"" +
                                      out + L"\".",
                                  title, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    std::wstring text = L"ActiveX Component registration exported to \"" + out + L"\".";
    // A component that would not unload is told as a registration tells it.
    if (registration::NotUnloaded(outcome))
        if (auto message = registration::MessageFor(Operation::Export, outcome))
            text += L"\n" + message->text;
    platform::Messages().Show(text, title, MB_OK | MB_ICONASTERISK);
}

} // namespace calvorn::app
