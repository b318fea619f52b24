#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "log/ShredLog.h"

void ShredLog::ClearLog() const {
    if (folder_.empty()) return;
    FileOps ops;
    WalkOptions options;
    options.recursive = false;
    options.startFolder = WideFromUtf8(folder_);
    options.nameFilter = WideFromUtf8(kBaseName);
    options.extFilter = WideFromUtf8(kExtension);
    ops.WalkConfigure(options);

    // Collected first, deleted after the walk: the folder is not changed under the
    // directory stream that lists it.
    std::vector<std::string> found;
    std::u16string path;
    int64_t size = 0, time = 0;
    if (ops.WalkFirst(path, size, time)) {
        do {
            if (!path.empty()) found.push_back(Utf8FromWide(path));
        } while (ops.WalkNext(path, size, time));
    }
    for (const std::string& file : found) {
        struct stat st {};
        // A folder never matches; links and other entries go as names only.
        if (::lstat(file.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) ::unlink(file.c_str());
    }
    ::unlink(logPath_.c_str());
}
