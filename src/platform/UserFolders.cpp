#include "platform/UserFolders.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

namespace fsys {

namespace {

constexpr const char* kStandardNames[] = {"Desktop",  "Documents", "Downloads", "Music",
                                          "Pictures", "Videos",    "Templates", "Public"};

// One line of user-dirs.dirs: XDG_NAME_DIR="$HOME/Folder" or an absolute path.
bool ParseUserDirLine(const std::string& line, const std::string& home, std::string& out) {
    const size_t eq = line.find('=');
    if (line.rfind("XDG_", 0) != 0 || eq == std::string::npos) return false;
    if (line.compare(eq - 4, 4, "_DIR") != 0) return false;
    std::string value = line.substr(eq + 1);
    if (value.size() < 2 || value.front() != '"' || value.back() != '"') return false;
    value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0)
        value = home + value.substr(5);
    else if (value.empty() || value.front() != '/')
        return false;
    out = value;
    return true;
}

}  // namespace

std::vector<std::string> UserFolderPaths() {
    std::vector<std::string> out;
    const char* homeEnv = std::getenv("HOME");
    const std::string home = homeEnv ? homeEnv : "";
    if (home.empty() || home.front() != '/') return out;
    out.push_back(home);
    for (const char* name : kStandardNames) out.push_back(home + "/" + name);

    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string config = xdg && xdg[0] == '/' ? xdg : home + "/.config";
    std::ifstream list(config + "/user-dirs.dirs");
    std::string line, path;
    while (std::getline(list, line))
        if (ParseUserDirLine(line, home, path)) out.push_back(path);
    return out;
}

std::vector<Identity> ProtectedFolderIdentities() {
    std::vector<Identity> out;
    for (const auto& p : UserFolderPaths()) {
        struct stat st {};
        if (::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            out.push_back(Identity{st.st_dev, st.st_ino});
    }
    return out;
}

}  // namespace fsys
