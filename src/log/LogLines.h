#pragma once
// The lines the runs write into the shredding log.
#include <string>

std::u16string FileRunLogHeader(int iterations);
std::u16string FreeSpaceRunLogHeader(int iterations);
std::u16string LogDoneLine(const std::u16string& path);           // "%s [done]"
std::u16string LogFailedLine(const std::u16string& path);         // "%s [FAILED!]"
std::u16string LogFolderRemovedLine(const std::u16string& path);  // "%s [FOLDER, removed]"
std::u16string LogTemporaryFileLine(const std::u16string& path);  // "%s [Temporary file]"
