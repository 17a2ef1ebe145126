#include "app/window_scan.h"

#include "app/backup_file.h"
#include "app/report.h"
#include "app/report_file.h"
#include "app/scan_records.h"
#include "app/startup.h"
#include "platform/error_record.h"
#include "platform/message_box.h"
#include "registration/health/registration_scan.h"
#include "ui/cell_text_window.h"
#include "ui/file_dialog.h"
#include "ui/main_window.h"
#include "ui/progress_window.h"

#include <windows.h>

namespace calvorn::app {

using platform::Failure;
using platform::Win32Error;

namespace {

// The text as it stands in the window, written whole or not at all.
void SaveScanText(HWND window, const std::wstring& text) {
    const std::optional<ui::SaveChoice> choice =
        ui::ShowSave(window, L"calvorn-scan.txt", L"Text files (*.txt)|*.txt|All files (*.*)|*.*");
    if (!choice)
        return;
    try {
        ReportFile file(choice->path);
        file.Write(text);
        file.Commit();
    } catch (...) {
        ShowError(L"SaveScanText", platform::CurrentFailure());
    }
}

// Puts back what a "-fix" removed, from the backup the user picks, and
// says how far that got.
void RestoreChosen(HWND window) {
    const std::optional<std::wstring> path =
        ui::ShowOpen(window, L"",
                     L"Calvorn backups (calvorn-backup-*.reg)|calvorn-backup-*.reg|"
                     L"Registry files (*.reg)|*.reg");
    if (!path)
        return;
    const RestoreResult result = RestoreBackupFile(*path);
    std::wstring text;
    if (!result.unreadable.empty())
        text = L"\"" + *path + L"\" could not be restored: " + result.unreadable +
               L"\r\nNothing was written.";
    else {
        text = std::to_wstring(result.keys - result.failures.size()) + L" of " +
               std::to_wstring(result.keys) + L" keys were restored from \"" + *path + L"\".";
        for (const registration::RestoreFailure& failure : result.failures)
            text += L"\r\nNot restored: " + failure.key + L" (" + failure.reason + L")";
    }
    platform::Messages().Show(text, L"Calvorn - Undo a repair",
                              MB_OK | (result.unreadable.empty() && result.failures.empty()
                                           ? MB_ICONINFORMATION
                                           : MB_ICONEXCLAMATION));
}

void UndoRepair(HWND window) {
    try {
        RestoreChosen(window);
    } catch (...) {
        ShowError(L"UndoRepair", platform::CurrentFailure());
    }
}

std::wstring ScanText(const registration::ScanResult& result) {
    std::wstring text;
    if (result.cancelled)
        text += L"The check was cancelled. What it found before:\r\n";
    text += ScanSummary(result) + L"\r\n\r\n";
    if (result.entries.empty())
        text += L"No broken COM registrations were found.\r\n";
    for (const registration::ScanEntry& entry : result.entries)
        text += ScanTextLine(entry);
    text += L"\r\n\"calvorn -q -scan -fix\" removes the broken ones, after a backup; "
            L"\"Undo a repair...\" (or \"calvorn -q -restore\") puts a backup back.\r\n";
    return text;
}

} // namespace

void CheckThisComputer() {
    try {
        App().cancelRequested = false;
        std::unique_ptr<IReportProgress> progress =
            WindowProgress({L"Checking this computer", L"Looking at:", L"Registration"});
        progress->Show();
        progress->CurrentFile(L"COM registrations");
        registration::ServerFiles files(registration::SystemFileLookups());
        const registration::ScanResult result =
            registration::ScanRegistrations(files, registration::ViewsOfThisMachine(),
                                            [&progress](std::size_t done, std::size_t total) {
                                                progress->Max(static_cast<std::int32_t>(total));
                                                progress->Value(static_cast<std::int32_t>(done));
                                                progress->PumpMessages();
                                                return !App().cancelRequested;
                                            });
        progress->Hide();
        ui::CellTextWindow& window = ui::DisplayWindow();
        if (!window.Load(ui::TheMainWindow().Hwnd()))
            throw Failure(Win32Error(LastErrorOr(ERROR_CANNOT_MAKE)));
        window.Frame(L"Calvorn - Check this computer", 12600, 6000);
        window.Text(ScanText(result));
        window.OfferSave(SaveScanText);
        window.OfferAction(L"&Undo a repair...", UndoRepair);
        window.ShowModal();
    } catch (...) {
        const platform::ErrorRecord error = platform::CurrentFailure();
        ui::TheProgressWindow().Hide();
        ShowError(L"CheckThisComputer", error);
    }
}

} // namespace calvorn::app
