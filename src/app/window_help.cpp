#include "app/window_help.h"

#include "app/first_run.h"
#include "app/help_guide.h"
#include "app/report.h"
#include "app/startup_helpers.h"
#include "app/version.h"
#include "platform/elevation.h"
#include "platform/message_box.h"
#include "platform/path_forms.h"

#include <windows.h>

namespace calvorn::app {

namespace {

std::wstring GuidePath() {
    return platform::JoinPath(InitAppPath(), kGuideFileName);
}

bool Exists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

void ShowAbout() {
    AboutFacts facts;
    facts.version = L"version " CALVORN_VERSION_TEXT L" (build " +
                    std::to_wstring(CALVORN_VERSION_REVISION) + L")";
    facts.settingsKey = L"HKEY_CURRENT_USER\\" + std::wstring(kSettingsKey);
    facts.guidePath = GuidePath();
    facts.guideFound = Exists(facts.guidePath);
    facts.elevated = platform::RunsElevated();
    platform::Messages().Show(AboutText(facts), L"About Calvorn", MB_OK | MB_ICONASTERISK);
}

void OpenGuide(int tab) {
    const std::wstring path = GuidePath();
    if (!Exists(path)) {
        platform::Messages().Show(L"The guide was not found.\nIt was expected at " + path +
                                      L", beside the program.",
                                  L"Calvorn - Guide", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    OpenDocument(FileUrl(path, GuideAnchorOfTab(tab)));
}

} // namespace calvorn::app
