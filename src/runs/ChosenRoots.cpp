#include <unordered_set>

#include "runs/RunState.h"

namespace {

// The folder a row's entry lies in ("/a/b/" for "/a/b/x" and for "/a/b/c/").
std::u16string HoldingFolder(const std::u16string& path) {
    size_t end = path.size();
    while (end > 1 && path[end - 1] == u'/') --end;
    const size_t slash = path.rfind(u'/', end - 1);
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1);
}

void AddOrUpdate(std::vector<fsys::Root>& roots, const fsys::Root& root) {
    for (auto& r : roots) {
        if (r.path == root.path) {
            r = root;
            return;
        }
    }
    roots.push_back(root);
}

}  // namespace

void ChosenRoots::Add(const fsys::Root& root) {
    std::lock_guard<std::mutex> lock(mutex_);
    AddOrUpdate(roots_, root);
}

void ChosenRoots::AddHolder(const fsys::Root& holder) {
    std::lock_guard<std::mutex> lock(mutex_);
    holders_[holder.path] = holder.identity;
}

fsys::Root ChosenRoots::RootOf(const std::u16string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    // The folder an entry was listed in, when a file was chosen there on its own:
    // the entry is reached only in that very folder.
    if (!holders_.empty()) {
        const std::u16string folder = HoldingFolder(path);
        const auto it = holders_.find(folder);
        if (it != holders_.end()) return fsys::Root{folder, it->second};
    }
    const fsys::Root* best = nullptr;
    for (const auto& r : roots_) {
        // The outermost holder: more of the path is then walked without links.
        if (path.size() > r.path.size() && path.compare(0, r.path.size(), r.path) == 0 &&
            (!best || r.path.size() < best->path.size()))
            best = &r;
    }
    return best ? *best : fsys::Root{};
}

void ChosenRoots::KeepHolding(const std::vector<std::u16string>& rowPaths) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (roots_.empty() && holders_.empty()) return;
    // Every folder that holds a row, with all folders above it; the climb stops
    // at a folder met before, so a large list costs about one step per row.
    std::unordered_set<std::u16string> held;
    for (const std::u16string& path : rowPaths) {
        std::u16string folder = !path.empty() && path.back() == u'/' ? path : HoldingFolder(path);
        while (!folder.empty() && held.insert(folder).second) folder = HoldingFolder(folder);
    }
    std::erase_if(roots_, [&](const fsys::Root& r) { return held.count(r.path) == 0; });
    std::erase_if(holders_, [&](const auto& h) { return held.count(h.first) == 0; });
    if (devices_.empty()) return;
    const std::unordered_set<std::u16string> rows(rowPaths.begin(), rowPaths.end());
    std::erase_if(devices_, [&](const std::u16string& d) { return rows.count(d) == 0; });
}

void ChosenRoots::AddChosenDevice(const std::u16string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    devices_.insert(path);
}

bool ChosenRoots::IsChosenDevice(const std::u16string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return devices_.count(path) != 0;
}
