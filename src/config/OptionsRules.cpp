#include "config/OptionsRules.h"

#include "config/NumberText.h"
#include "config/TextConv.h"

OptionsSettings OptionsSettingsOf(AppSettings& s) {
    return OptionsSettings{s.diskShredBlockSize,  s.diskShredFileSize,  s.shredBlockSize,
                           s.shredValue,          s.diskShredFileName,  s.diskShredLeaveFiles,
                           s.fileShredLeaveFiles, s.fileShredFileShred, s.keepChosenFolders,
                           s.ignoreProtect,       s.showSummary,        s.hideSeenWarnings,
                           s.verifyLastPass,      s.reportsOn,          s.reportHideNames,
                           s.reportFolder,        s.reportKeyFile,      s.reportOrganisation,
                           s.reportOperator,      s.reportCustomer,     s.freeSpaceAfter};
}

std::u16string SizeFieldText(uint32_t size) {
    return WideFromUtf8(std::to_string(size));
}

OptionsFields OptionsFieldsOf(const OptionsSettings& s) {
    OptionsFields f;
    f.shredBlockSize = SizeFieldText(s.shredBlockSize);
    f.diskShredBlockSize = SizeFieldText(s.diskShredBlockSize);
    f.diskShredFileSize = SizeFieldText(s.diskShredFileSize);
    f.shredValue = WideFromUtf8(s.shredValue);
    f.diskShredFileName = WideFromUtf8(s.diskShredFileName);
    f.diskShredLeaveFiles = s.diskShredLeaveFiles;
    f.fileShredLeaveFiles = s.fileShredLeaveFiles;
    f.fileShredFileShred = s.fileShredFileShred;
    f.keepChosenFolders = s.keepChosenFolders;
    f.ignoreProtect = s.ignoreProtect;
    f.showSummary = s.showSummary;
    f.hideSeenWarnings = s.hideSeenWarnings;
    f.verifyLastPass = s.verifyLastPass;
    f.reportsOn = s.reportsOn;
    f.reportHideNames = s.reportHideNames;
    f.reportFolder = WideFromUtf8(s.reportFolder);
    f.reportKeyFile = WideFromUtf8(s.reportKeyFile);
    f.reportOrganisation = WideFromUtf8(s.reportOrganisation);
    f.reportOperator = WideFromUtf8(s.reportOperator);
    f.reportCustomer = WideFromUtf8(s.reportCustomer);
    f.freeSpaceAfter = s.freeSpaceAfter;
    return f;
}

void ReadSizeField(std::u16string_view text, uint32_t defaultSize, uint32_t& setting) {
    uint32_t value = 0;
    if (!ParseUInt32Modulo(text, value)) return;
    setting = value == 0 ? defaultSize : value;
}

void StoreOptions(const OptionsFields& f, const OptionsSettings& s) {
    ReadSizeField(f.diskShredFileSize, kDefaultDiskShredFileSize, s.diskShredFileSize);
    ReadSizeField(f.diskShredBlockSize, kDefaultDiskShredBlockSize, s.diskShredBlockSize);
    if (s.diskShredBlockSize >= s.diskShredFileSize)
        s.diskShredBlockSize = kDefaultDiskShredBlockSize;
    ReadSizeField(f.shredBlockSize, kDefaultShredBlockSize, s.shredBlockSize);
    s.shredValue = Utf8FromWide(f.shredValue);
    s.diskShredFileName = Utf8FromWide(f.diskShredFileName);
    s.diskShredLeaveFiles = f.diskShredLeaveFiles;
    s.fileShredLeaveFiles = f.fileShredLeaveFiles;
    s.fileShredFileShred = f.fileShredFileShred;
    s.keepChosenFolders = f.keepChosenFolders;
    s.ignoreProtect = f.ignoreProtect;
    s.showSummary = f.showSummary;
    s.hideSeenWarnings = f.hideSeenWarnings;
    s.verifyLastPass = f.verifyLastPass;
    s.reportsOn = f.reportsOn;
    s.reportHideNames = f.reportHideNames;
    s.reportFolder = Utf8FromWide(f.reportFolder);
    s.reportKeyFile = Utf8FromWide(f.reportKeyFile);
    s.reportOrganisation = Utf8FromWide(f.reportOrganisation);
    s.reportOperator = Utf8FromWide(f.reportOperator);
    s.reportCustomer = Utf8FromWide(f.reportCustomer);
    s.freeSpaceAfter = f.freeSpaceAfter;
}
