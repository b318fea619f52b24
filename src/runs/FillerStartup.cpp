#include "runs/FillerStartup.h"

#include "config/TextConv.h"
#include "engine/FillerRecovery.h"
#include "i18n/SafeFormat.h"
#include "runs/OfferedDrives.h"

FillerStartupReport RecoverFillersAtStart(const std::string& storageFolder,
                                          const AppSettings& settings) {
    FillerStartupReport report;
    std::string name = settings.diskShredLeaveFiles ? std::string() : settings.diskShredFileName;
    for (char& c : name)
        if (c == '/') c = '_';  // as the fill names its files
    const std::vector<FillerFile> files =
        RecoverFillers(storageFolder.empty() ? std::string() : FillRecordPath(storageFolder), name,
                       name.empty() ? std::vector<std::string>() : FillFolders());
    uint64_t bytes = 0;
    int failed = 0;
    for (const FillerFile& f : files) {
        report.logLines.push_back(
            SafeFormat(std::u16string_view(u"%s [%s of an interrupted free-space run, %s bytes]"),
                       {WideFromUtf8(f.path),
                        f.error == 0 ? u"Deleted filler file" : u"FAILED! to delete filler file",
                        WideFromUtf8(std::to_string(f.bytes))}));
        if (f.error == 0)
            bytes += f.bytes;
        else
            ++failed;
    }
    if (!files.empty()) {
        report.statusText = SafeFormat(
            std::u16string_view(u"Deleted %u filler files of an interrupted free-space run "
                                u"(%s MB freed)%s"),
            {static_cast<unsigned>(files.size() - static_cast<size_t>(failed)),
             WideFromUtf8(std::to_string(bytes / 1048576)),
             failed ? std::u16string(u"; some could not be deleted, see the log")
                    : std::u16string()});
    }
    return report;
}
