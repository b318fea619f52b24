#pragma once
// What the options dialog shows and what it stores on OK, apart from the widgets:
// the sizes are printed and read as unsigned decimal numbers, texts are stored as
// typed, and the two free-space sizes are kept in a range in which the fill ends.
#include <cstdint>
#include <string>
#include <string_view>

#include "config/AppSettings.h"

inline constexpr uint32_t kDefaultShredBlockSize = 102400;
inline constexpr uint32_t kDefaultDiskShredBlockSize = 524288;
inline constexpr uint32_t kDefaultDiskShredFileSize = 1073741824;
inline constexpr std::string_view kDefaultShredValue = "0";
inline constexpr std::string_view kDefaultDiskShredFileName = "Morvik.$$$temp$$$";

// The settings the dialog edits, as references into the window's settings record.
struct OptionsSettings {
    uint32_t& diskShredBlockSize;
    uint32_t& diskShredFileSize;
    uint32_t& shredBlockSize;
    std::string& shredValue;
    std::string& diskShredFileName;
    bool& diskShredLeaveFiles;
    bool& fileShredLeaveFiles;
    bool& fileShredFileShred;
    bool& keepChosenFolders;
    bool& ignoreProtect;
    bool& showSummary;
    bool& hideSeenWarnings;
    bool& verifyLastPass;
    bool& reportsOn;
    bool& reportHideNames;
    std::string& reportFolder;
    std::string& reportKeyFile;
    std::string& reportOrganisation;
    std::string& reportOperator;
    std::string& reportCustomer;
    bool& freeSpaceAfter;
};

OptionsSettings OptionsSettingsOf(AppSettings& settings);

// The dialog's fields as the user sees them.
struct OptionsFields {
    std::u16string shredBlockSize;
    std::u16string diskShredBlockSize;
    std::u16string diskShredFileSize;
    std::u16string shredValue;
    std::u16string diskShredFileName;
    bool diskShredLeaveFiles = false;
    bool fileShredLeaveFiles = false;
    bool fileShredFileShred = false;
    bool keepChosenFolders = false;
    bool ignoreProtect = false;
    bool showSummary = false;
    bool hideSeenWarnings = true;
    bool verifyLastPass = false;
    bool reportsOn = true;
    bool reportHideNames = false;
    std::u16string reportFolder, reportKeyFile;
    std::u16string reportOrganisation, reportOperator, reportCustomer;
    bool freeSpaceAfter = false;
};

// The fields filled from the settings (sizes as "%u", texts from UTF-8).
OptionsFields OptionsFieldsOf(const OptionsSettings& settings);

std::u16string SizeFieldText(uint32_t size);

// Reads a size field: white space, a sign and digits, taken modulo 2^32. A field
// without digits leaves `setting` as it was. A size of 0 becomes `defaultSize`:
// a free-space fill with a zero block or file size would never finish, and the
// file overwrite treats a zero block size as its default anyway.
void ReadSizeField(std::u16string_view text, uint32_t defaultSize, uint32_t& setting);

// OK: the disk file size, then the disk block size (which becomes 524288 when it
// is not below the file size), the file block size, the two texts as they stand,
// and the switches.
void StoreOptions(const OptionsFields& fields, const OptionsSettings& settings);
