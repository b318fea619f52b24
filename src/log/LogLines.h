#pragma once
// The lines the runs write into the shredding log.
#include <string>
#include <string_view>

// The title of a run's header block ("Shredding files with 3 iterations").
std::u16string FileRunLogTitle(int iterations);
std::u16string FreeSpaceRunLogTitle(int iterations);
// The header block around a title as the log holds it: an empty line, the title,
// a line of dashes, an empty line (the last line break is the one every log text
// gets when it is written).
std::u16string RunLogHeaderText(std::u16string_view title);

std::u16string FileRunLogHeader(int iterations);           // RunLogHeaderText(FileRunLogTitle)
std::u16string FreeSpaceRunLogHeader(int iterations);      // RunLogHeaderText(FreeSpaceRunLogTitle)
std::u16string LogDoneLine(const std::u16string& path);    // "%s [done]"
std::u16string LogFailedLine(const std::u16string& path);  // "%s [FAILED!]"
// "%s [FAILED! the folder changed]": the entry's folder was not the one listed.
std::u16string LogFolderChangedLine(const std::u16string& path);
std::u16string LogFolderRemovedLine(const std::u16string& path);  // "%s [FOLDER, removed]"
std::u16string LogTemporaryFileLine(const std::u16string& path);  // "%s [Temporary file]"
