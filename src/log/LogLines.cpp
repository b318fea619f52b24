#include "log/LogLines.h"

#include "i18n/SafeFormat.h"

namespace {
const char16_t* const kDashes = u"-------------------------------------------------";  // 49
}

std::u16string FileRunLogHeader(int iterations) {
    return SafeFormat(u"\r\nShredding files with %d iterations\r\n%s\r\n", {iterations, kDashes});
}

std::u16string FreeSpaceRunLogHeader(int iterations) {
    return SafeFormat(u"\r\nShredding free disk space with %d iterations\r\n%s\r\n",
                      {iterations, kDashes});
}

std::u16string LogDoneLine(const std::u16string& path) {
    return path + u" [done]";
}
std::u16string LogFailedLine(const std::u16string& path) {
    return path + u" [FAILED!]";
}
std::u16string LogFolderRemovedLine(const std::u16string& path) {
    return path + u" [FOLDER, removed]";
}
std::u16string LogTemporaryFileLine(const std::u16string& path) {
    return path + u" [Temporary file]";
}
