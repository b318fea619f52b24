#include "log/LogLines.h"

#include "i18n/SafeFormat.h"

namespace {
const char16_t* const kDashes = u"-------------------------------------------------";  // 49
}

std::u16string FileRunLogTitle(int iterations) {
    return SafeFormat(u"Shredding files with %d iterations", {iterations});
}

std::u16string FreeSpaceRunLogTitle(int iterations) {
    return SafeFormat(u"Shredding free disk space with %d iterations", {iterations});
}

std::u16string RunLogHeaderText(std::u16string_view title) {
    return u"\r\n" + std::u16string(title) + u"\r\n" + kDashes + u"\r\n";
}

std::u16string FileRunLogHeader(int iterations) {
    return RunLogHeaderText(FileRunLogTitle(iterations));
}

std::u16string FreeSpaceRunLogHeader(int iterations) {
    return RunLogHeaderText(FreeSpaceRunLogTitle(iterations));
}

std::u16string LogDoneLine(const std::u16string& path) {
    return path + u" [done]";
}
std::u16string LogFailedLine(const std::u16string& path) {
    return path + u" [FAILED!]";
}

std::u16string LogFolderChangedLine(const std::u16string& path) {
    return path + u" [FAILED! the folder changed]";
}
std::u16string LogFolderRemovedLine(const std::u16string& path) {
    return path + u" [FOLDER, removed]";
}
std::u16string LogTemporaryFileLine(const std::u16string& path) {
    return path + u" [Temporary file]";
}
