// The two path helpers. Both separators count, as paths may be typed either way.
// Position 0 is examined too: on this platform a path such as "/report.pdf"
// has its separator there, and the file's folder is "/".
#include "engine/FileOps.h"

namespace {

bool IsSeparator(char16_t c) {
    return c == u'/' || c == u'\\';
}

}  // namespace

std::u16string FolderOfPath(const std::u16string& path) {
    for (size_t i = path.size(); i-- > 0;) {
        if (IsSeparator(path[i])) return path.substr(0, i + 1);
    }
    return path;
}

std::u16string FileNameOfPath(const std::u16string& path) {
    for (size_t i = path.size(); i-- > 0;) {
        if (IsSeparator(path[i]) && i + 1 != path.size()) return path.substr(i + 1);
    }
    return path;
}
