#include "cli/FaceStartup.h"

#include <cstdio>
#include <optional>

#include "cli/TerminalFace.h"
#include "config/TextConv.h"
#include "i18n/SafeFormat.h"
#include "platform/BoundedCall.h"
#include "runs/FillerStartup.h"

namespace {

void Warn(TerminalFace& face, const char* program, std::string_view key, const std::string& path) {
    const std::u16string shown =
        PrintableText(SafeFormat(face.MessageText(key), {WideFromUtf8(path)}));
    std::fprintf(stderr, "%s: %s\n", program, Utf8FromWide(shown).c_str());
}

}  // namespace

void WarnNotTrusted(TerminalFace& face, const char* program, StoragePaths& storage,
                    const LoadedSettings& loaded) {
    if (!storage.refusedPath.empty())
        Warn(face, program, "FrmMain.m_acMStorageRefused", storage.refusedPath);
    if (!loaded.refused) return;
    Warn(face, program, "FrmMain.m_acMSettingsRefused", storage.settingsFile);
    storage.settingsFile.clear();
}

bool CleanUpAtStart(TerminalFace& face, const std::string& storageFolder,
                    const AppSettings& settings, bool quiet) {
    const std::optional<FillerStartupReport> report = bounded::CallWithin<FillerStartupReport>(
        [storageFolder, settings] { return RecoverFillersAtStart(storageFolder, settings); });
    if (!report) return false;
    face.CarryLog(report->logLines);
    if (report->statusText.empty() || quiet) return true;
    // The window program's status line is echoed; kelvane-cli says it on its own.
    if (face.Setup().windowEcho)
        face.SetStatusText(report->statusText);
    else
        face.Say(report->statusText, false);
    return true;
}
