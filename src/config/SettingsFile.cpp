#include "config/SettingsFile.h"

#include <cstdio>

#include "config/NumberText.h"
#include "config/ProfileFile.h"

namespace {

// A "%u" reading: keeps `field` when the text has no digits.
void ReadUnsigned(ProfileFile& file, const char* key, uint32_t& field) {
    std::string text = file.GetString(key, std::to_string(field));
    (void)ParseUInt32Modulo(text, field);
}

// A keeping limit: a count or days from 0 (no limit) to 100000; anything else
// leaves the default, so a bad value never deletes more than the default would.
void ReadLimit(ProfileFile& file, const char* key, int& field) {
    const int v = file.GetInt(key, field);
    if (v >= 0 && v <= 100000) field = v;
}

// A font key: the file's value when there is one.
bool ReadFontInt(ProfileFile& file, const char* key, int32_t& field) {
    std::string text = file.GetString(key, "");
    if (text.empty()) return false;
    field = ParseInt32(text);
    return true;
}

}  // namespace

int32_t ClampIterations(int32_t n) {
    return n < 1 || n > 300 ? 3 : n;
}

LoadedSettings LoadSettings(const std::string& path) {
    LoadedSettings out;
    AppSettings& s = out.values;
    ProfileFile file(true);
    (void)file.LoadOwned(path, out.refused);
    s.random = file.GetInt("Random", s.random);
    s.shredValue = file.GetString("ShredValue", s.shredValue);
    s.ignoreProtect = file.GetBool("IgnoreProtect", s.ignoreProtect);
    s.endAction = file.GetInt("EndAction", s.endAction);
    s.shredNames = file.GetInt("ShredNames", s.shredNames);
    s.confirm = file.GetInt("Confirm", s.confirm);
    s.modifySize = file.GetInt("ModifySize", s.modifySize);
    s.modifySizeType = file.GetInt("ModifySizeType", s.modifySizeType);
    s.iterations = ClampIterations(file.GetInt("Iterations", s.iterations));
    ReadUnsigned(file, "ShredBlockSize", s.shredBlockSize);
    ReadUnsigned(file, "DiskShredBlockSize", s.diskShredBlockSize);
    ReadUnsigned(file, "DiskShredFileSize", s.diskShredFileSize);
    s.diskShredFileName = file.GetString("DiskShredFileName", s.diskShredFileName);
    s.diskShredLeaveFiles = file.GetBool("DiskShredLeaveFiles", s.diskShredLeaveFiles);
    s.fileShredLeaveFiles = file.GetBool("FileShredLeaveFiles", s.fileShredLeaveFiles);
    s.fileShredFileShred = file.GetBool("FileShredFileShred", s.fileShredFileShred);
    s.keepChosenFolders = file.GetBool("KeepChosenFolders", s.keepChosenFolders);
    s.useBuildInFont = file.GetBool("UseBuildInFont", s.useBuildInFont);
    s.useFontSettings = file.GetBool("UseFontSettings", s.useFontSettings);
    s.useFontHeight = file.GetBool("UseFontHeight", s.useFontHeight);
    s.fontDefName = file.GetString("FontDefName", "");
    out.hasFontName = !s.fontDefName.empty();
    out.hasFontCharset = ReadFontInt(file, "FontDefCharset", s.fontDefCharset);
    out.hasFontHeight = ReadFontInt(file, "FontDefHeight", s.fontDefHeight);
    out.hasFontPitch = ReadFontInt(file, "FontDefPitch", s.fontDefPitch);
    s.winPos = file.GetString("WinPos", "");
    s.languageName = file.GetString("LanguageName", "");
    s.enableLog = file.GetInt("EnableLog", s.enableLog);
    s.archiveLog = file.GetInt("ArchiveLog", s.archiveLog);
    s.showSummary = file.GetBool("ShowSummary", s.showSummary);
    s.hideSeenWarnings = file.GetBool("HideSeenWarnings", s.hideSeenWarnings);
    s.verifyLastPass = file.GetBool("VerifyLastPass", s.verifyLastPass);
    ReadUnsigned(file, "SeenWarnings", s.seenWarnings);
    s.freeSpaceAfter = file.GetBool("FreeSpaceAfter", s.freeSpaceAfter);
    s.overwriteReserve = file.GetBool("OverwriteReserve", s.overwriteReserve);
    s.reportsOn = file.GetBool("Reports", s.reportsOn);
    s.reportHideNames = file.GetBool("ReportHideNames", s.reportHideNames);
    s.reportFolder = file.GetString("ReportFolder", "");
    s.reportKeyFile = file.GetString("ReportKeyFile", "");
    s.reportOrganisation = file.GetString("ReportOrganisation", "");
    s.reportOperator = file.GetString("ReportOperator", "");
    s.reportCustomer = file.GetString("ReportCustomer", "");
    ReadLimit(file, "LogArchivesKeep", s.logArchivesKeep);
    ReadLimit(file, "LogArchivesDays", s.logArchivesDays);
    ReadLimit(file, "ReportsKeep", s.reportsKeep);
    ReadLimit(file, "ReportsDays", s.reportsDays);
    return out;
}

bool SaveSettings(const std::string& path, const AppSettings& s) {
    ProfileFile file(true);
    file.WriteBool("Random", s.random != 0);
    file.WriteString("ShredValue", s.shredValue);
    file.WriteBool("IgnoreProtect", s.ignoreProtect);
    file.WriteInt("EndAction", s.endAction);
    file.WriteBool("ShredNames", s.shredNames != 0);
    file.WriteBool("Confirm", s.confirm != 0);
    file.WriteBool("ModifySize", s.modifySize != 0);
    file.WriteInt("ModifySizeType", s.modifySizeType);
    file.WriteBool("EnableLog", s.enableLog == 1);
    file.WriteBool("ArchiveLog", s.archiveLog == 1);
    file.WriteInt("Iterations", ClampIterations(s.iterations));
    file.WriteString("ShredBlockSize", std::to_string(s.shredBlockSize));
    file.WriteString("DiskShredBlockSize", std::to_string(s.diskShredBlockSize));
    file.WriteString("DiskShredFileSize", std::to_string(s.diskShredFileSize));
    file.WriteString("DiskShredFileName", s.diskShredFileName);
    file.WriteBool("DiskShredLeaveFiles", s.diskShredLeaveFiles);
    file.WriteBool("FileShredLeaveFiles", s.fileShredLeaveFiles);
    file.WriteBool("FileShredFileShred", s.fileShredFileShred);
    file.WriteBool("KeepChosenFolders", s.keepChosenFolders);
    file.WriteBool("UseBuildInFont", s.useBuildInFont);
    file.WriteBool("UseFontSettings", s.useFontSettings);
    file.WriteBool("UseFontHeight", s.useFontHeight);
    file.WriteString("FontDefName", s.fontDefName);
    file.WriteInt("FontDefCharset", s.fontDefCharset);
    file.WriteInt("FontDefHeight", s.fontDefHeight);
    file.WriteInt("FontDefPitch", s.fontDefPitch);
    file.WriteString("WinPos", s.winPos);
    file.WriteString("LanguageName", s.languageName);
    file.WriteBool("ShowSummary", s.showSummary);
    file.WriteBool("HideSeenWarnings", s.hideSeenWarnings);
    file.WriteBool("VerifyLastPass", s.verifyLastPass);
    file.WriteString("SeenWarnings", std::to_string(s.seenWarnings));
    file.WriteBool("FreeSpaceAfter", s.freeSpaceAfter);
    file.WriteBool("OverwriteReserve", s.overwriteReserve);
    file.WriteBool("Reports", s.reportsOn);
    file.WriteBool("ReportHideNames", s.reportHideNames);
    file.WriteString("ReportFolder", s.reportFolder);
    file.WriteString("ReportKeyFile", s.reportKeyFile);
    file.WriteString("ReportOrganisation", s.reportOrganisation);
    file.WriteString("ReportOperator", s.reportOperator);
    file.WriteString("ReportCustomer", s.reportCustomer);
    file.WriteInt("LogArchivesKeep", s.logArchivesKeep);
    file.WriteInt("LogArchivesDays", s.logArchivesDays);
    file.WriteInt("ReportsKeep", s.reportsKeep);
    file.WriteInt("ReportsDays", s.reportsDays);
    if (path.empty()) return false;
    // The settings name the user's pattern file and window; private like the log.
    return file.Save(path, 0600);
}

bool IsMaximizedWinPos(const std::string& text) {
    return text == "MAX";
}

std::optional<WindowRect> ParseWinPos(const std::string& text) {
    // Four decimal numbers separated by ";", read the way "%d;%d;%d;%d" reads
    // them: white space before a number is skipped, anything after the fourth is
    // ignored.
    WindowRect r;
    int* fields[4] = {&r.left, &r.top, &r.right, &r.bottom};
    std::string_view rest = text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (rest.empty() || rest.front() != ';') return std::nullopt;
            rest.remove_prefix(1);
        }
        size_t p = 0;
        while (p < rest.size() && (rest[p] == ' ' || (rest[p] >= '\t' && rest[p] <= '\r'))) ++p;
        size_t start = p;
        if (p < rest.size() && (rest[p] == '+' || rest[p] == '-')) ++p;
        size_t digits = p;
        while (p < rest.size() && rest[p] >= '0' && rest[p] <= '9') ++p;
        if (p == digits) return std::nullopt;
        *fields[i] = ParseInt32(rest.substr(start, p - start));
        rest.remove_prefix(p);
    }
    if (r.left < 0 || r.top < 0) return std::nullopt;
    // 64-bit differences: extreme numbers must not overflow into a positive size.
    if (int64_t{r.right} - r.left <= 0 || int64_t{r.bottom} - r.top <= 0) return std::nullopt;
    return r;
}

std::string FormatWinPos(const WindowRect& r) {
    char text[64];
    std::snprintf(text, sizeof text, "%d;%d;%d;%d", r.left, r.top, r.right, r.bottom);
    return text;
}
