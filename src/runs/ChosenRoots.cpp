#include "runs/RunState.h"

void ChosenRoots::Add(const fsys::Root& root) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& r : roots_) {
        if (r.path == root.path) {
            r = root;
            return;
        }
    }
    roots_.push_back(root);
}

fsys::Root ChosenRoots::RootOf(const std::u16string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const fsys::Root* best = nullptr;
    for (const auto& r : roots_) {
        // The outermost holder: more of the path is then walked without links.
        if (path.size() > r.path.size() && path.compare(0, r.path.size(), r.path) == 0 &&
            (!best || r.path.size() < best->path.size()))
            best = &r;
    }
    return best ? *best : fsys::Root{};
}
