#include "config/OwnerTrust.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

namespace {

bool OursOrRoot(uid_t uid) {
    return uid == ::geteuid() || uid == 0;
}

// A folder above the storage folder: others may write into it only where the
// sticky bit keeps them from renaming our entries.
bool SafeAncestor(const struct stat& st) {
    if (!S_ISDIR(st.st_mode) || !OursOrRoot(st.st_uid)) return false;
    if (st.st_mode & S_ISVTX) return true;
    if (st.st_mode & S_IWOTH) return false;
    return !(st.st_mode & S_IWGRP) || (st.st_gid == ::getegid() && st.st_uid == ::geteuid());
}

}  // namespace

bool IsOwnedAndPrivate(const struct stat& st) {
    return OursOrRoot(st.st_uid) && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool IsTrustedFolder(const std::string& folder) {
    if (folder.empty()) return false;
    std::vector<char> buf(PATH_MAX + 1);
    if (!::realpath(folder.c_str(), buf.data())) return false;
    const std::string real(buf.data());
    struct stat st {};
    if (::lstat(real.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || !IsOwnedAndPrivate(st))
        return false;
    // Every folder above, from the root down.
    for (size_t slash = real.find('/'); slash != std::string::npos && slash < real.size();
         slash = real.find('/', slash + 1)) {
        const std::string above = slash == 0 ? "/" : real.substr(0, slash);
        if (::lstat(above.c_str(), &st) != 0 || !SafeAncestor(st)) return false;
    }
    return true;
}

std::string EffectiveUserHome() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? static_cast<size_t>(size) : 16384);
    struct passwd pw {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found) != 0 || !found ||
        !found->pw_dir || found->pw_dir[0] != '/')
        return {};
    return found->pw_dir;
}

bool BelongsToAnotherUser(const std::string& path) {
    std::string at = path;
    while (!at.empty()) {
        struct stat st {};
        if (::stat(at.c_str(), &st) == 0) return !OursOrRoot(st.st_uid);
        while (!at.empty() && at.back() == '/') at.pop_back();
        const size_t slash = at.rfind('/');
        if (slash == std::string::npos) return false;
        at.resize(slash == 0 ? 1 : slash);
        if (at == "/") return false;
    }
    return false;
}
