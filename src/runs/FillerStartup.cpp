#include "runs/FillerStartup.h"

#include "config/TextConv.h"
#include "engine/FillerRecovery.h"
#include "i18n/SafeFormat.h"

namespace {

const char16_t* Untrusted(RecordTrust trust) {
    switch (trust) {
        case RecordTrust::NotOwned:
            return u"it belongs to another user";
        case RecordTrust::NotPrivate:
            return u"others may read or change it";
        case RecordTrust::NotAFile:
            return u"it is not a plain file";
        case RecordTrust::Unreadable:
            return u"it cannot be read";
        default:
            return nullptr;
    }
}

}  // namespace

FillerStartupReport RecoverFillersAtStart(const std::string& storageFolder, const AppSettings&) {
    FillerStartupReport report;
    if (storageFolder.empty()) return report;
    const std::string recordPath = FillRecordPath(storageFolder);
    const FillerRecovery found = RecoverFillers(recordPath);
    if (const char16_t* why = Untrusted(found.trust)) {
        report.recordIgnored = true;
        report.logLines.push_back(
            SafeFormat(std::u16string_view(u"%s [Ignored: %s; no file was deleted]"),
                       {WideFromUtf8(recordPath), why}));
        report.statusText = SafeFormat(
            std::u16string_view(u"The record of an interrupted free-space run was ignored: %s"),
            {why});
        return report;
    }
    uint64_t bytes = 0;
    int failed = 0;
    for (const FillerFile& f : found.deleted) {
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
    for (const std::string& path : found.kept)
        report.logLines.push_back(
            SafeFormat(std::u16string_view(u"%s [Kept: not the filler file an interrupted "
                                           u"free-space run made]"),
                       {WideFromUtf8(path)}));
    if (!found.deleted.empty()) {
        report.statusText = SafeFormat(
            std::u16string_view(u"Deleted %u filler files of an interrupted free-space run "
                                u"(%s MB freed)%s"),
            {static_cast<unsigned>(found.deleted.size() - static_cast<size_t>(failed)),
             WideFromUtf8(std::to_string(bytes / 1048576)),
             failed ? std::u16string(u"; some could not be deleted, see the log")
                    : std::u16string()});
    }
    return report;
}
