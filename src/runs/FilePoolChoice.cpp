#include "runs/FilePoolChoice.h"

#include <linux/magic.h>
#include <sys/vfs.h>

#include <cstdlib>
#include <string_view>

#include "config/NumberText.h"
#include "config/TextConv.h"
#include "engine/FileOps.h"

PoolSetting FilesAtOnce() {
    const char* env = std::getenv("KELVANE_FILES_AT_ONCE");
    if (!env || !*env) return {};
    const int32_t n = ParseInt32(std::string_view(env));
    if (n < 1 || n > 16) return {};
    return {n, true};
}

int64_t ListedBytes(const std::u16string& listed) {
    if (listed.empty() || listed.size() > 18) return -1;
    int64_t size = 0;
    for (char16_t c : listed) {
        if (c < u'0' || c > u'9') return -1;
        size = size * 10 + (c - u'0');
    }
    return size;
}

int64_t PoolSize(bool unlocksFolders, bool sameScrambledNames, const std::u16string& listedSize) {
    if (unlocksFolders || sameScrambledNames) return -1;
    const int64_t size = ListedBytes(listedSize);
    return size <= kPoolMaxBytes ? size : -1;
}

bool PoolPlaces::Pays(const fsys::Root& root, const std::u16string& path) {
    const std::u16string folder = root.path.empty() ? FolderOfPath(path) : root.path;
    auto it = known_.find(folder);
    if (it == known_.end()) {
        struct statfs st {};
        const bool inMemory = ::statfs(Utf8FromWide(folder).c_str(), &st) == 0 &&
                              (st.f_type == TMPFS_MAGIC || st.f_type == RAMFS_MAGIC);
        it = known_.emplace(folder, !inMemory).first;
    }
    return it->second;
}
