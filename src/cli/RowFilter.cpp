#include "cli/RowFilter.h"

#include <fnmatch.h>
#include <sys/stat.h>

#include "config/TextConv.h"
#include "runs/RunState.h"

namespace {
std::string WithoutSlash(std::string p) {
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}
}  // namespace

bool RowFilter::Excluded(const std::string& path, size_t rootLength) const {
    const std::string bare = WithoutSlash(path);
    for (const std::string& glob : globs_) {
        if (glob.find('/') != std::string::npos) {
            if (::fnmatch(glob.c_str(), bare.c_str(), FNM_PATHNAME) == 0) return true;
            continue;
        }
        // The entry's own name and every folder between the chosen one and it.
        size_t start = rootLength;
        while (start < bare.size()) {
            size_t end = bare.find('/', start);
            if (end == std::string::npos) end = bare.size();
            const std::string name = bare.substr(start, end - start);
            if (!name.empty() && ::fnmatch(glob.c_str(), name.c_str(), 0) == 0) return true;
            start = end + 1;
        }
    }
    return false;
}

void RowFilter::HoldFoldersAbove(const std::string& path, size_t rootLength) {
    std::string folder = WithoutSlash(path);
    for (;;) {
        const size_t slash = folder.rfind('/');
        if (slash == std::string::npos || slash + 1 < rootLength) return;
        folder.resize(slash + 1);
        if (!held_.insert(folder).second) return;  // and everything above it already
        if (folder.size() <= rootLength) return;
        folder.pop_back();
    }
}

RowFilter::Verdict RowFilter::Look(const std::u16string& widePath, bool folderRow) {
    if (!Active()) return Verdict::kKeep;
    std::string path = Utf8FromWide(widePath);
    if (folderRow && path.back() != '/') path.push_back('/');
    const fsys::Root root = roots_.RootOf(widePath);
    // A file chosen on its own is matched by its name alone.
    size_t rootLength = Utf8FromWide(root.path).size();
    if (root.path.empty()) {
        const std::string bare = WithoutSlash(path);
        rootLength = bare.rfind('/') == std::string::npos ? 0 : bare.rfind('/') + 1;
    }
    // A chosen folder itself is what the user named: only what it keeps holds it.
    const bool chosen =
        folderRow && Utf8FromWide(roots_.RootOf(WideFromUtf8(path) + u".").path) == path;
    Verdict verdict = Verdict::kKeep;
    // A folder's row comes after everything inside it: what it held is then
    // known, and the folder is forgotten, so a large tree keeps no set of them.
    if (folderRow && held_.erase(path)) {
        verdict = Verdict::kHeldFolder;
    } else if (chosen) {
        verdict = Verdict::kKeep;
    } else if (Excluded(path, rootLength)) {
        verdict = Verdict::kExcluded;
    } else if (oneFileSystem_ && root.identity.Known()) {
        struct stat st {};
        if (::lstat(WithoutSlash(path).c_str(), &st) == 0 &&
            static_cast<uint64_t>(st.st_dev) != root.identity.device)
            verdict = Verdict::kOtherFileSystem;
    }
    if (verdict != Verdict::kKeep && !root.path.empty()) HoldFoldersAbove(path, rootLength);
    return verdict;
}
