#include "config/DataFolder.h"

#include <sys/stat.h>

namespace {

bool HoldsData(const std::string& folder) {
    struct stat st {};
    const std::string marker = folder + kDataFolderMarker;
    return ::stat(marker.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// "/usr/bin/" -> "/usr/": the program folder comes from /proc/self/exe, which has
// no "." or ".." left, so cutting the last name is enough and keeps the shown
// paths clean.
std::string Parent(const std::string& folder) {
    std::string f = folder;
    while (f.size() > 1 && f.back() == '/') f.pop_back();
    const size_t slash = f.rfind('/');
    return slash == std::string::npos ? std::string() : f.substr(0, slash + 1);
}

}  // namespace

std::string FindDataFolder(const std::string& programFolder) {
    if (programFolder.empty()) return programFolder;
    std::string here = programFolder;
    if (here.back() != '/') here.push_back('/');
    if (HoldsData(here)) return here;
    const std::string parent = Parent(here);
    if (!parent.empty()) {
        const std::string installed = parent + "share/kelvane/";
        if (HoldsData(installed)) return installed;
    }
    return here;
}
