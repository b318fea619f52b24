#include "runs/RowVerdicts.h"

#include <deque>
#include <mutex>
#include <utility>

// What the owner and its lookers share. A looker that was given up may still be
// in its call long after the owner has gone: it holds this by shared pointer and
// nothing of the owner.
struct RowVerdicts::Shared {
    struct Looker {
        bool busy = false;
        bool abandoned = false;
        std::u16string path;
        std::chrono::steady_clock::time_point since;
    };
    std::mutex mutex;
    std::deque<std::u16string> queue;
    std::vector<std::pair<std::u16string, EntryVerdict>> found;
    std::shared_ptr<Looker> looker;  // the one at work, if any
    uint64_t generation = 0;         // a Clear drops what older looks find
};

namespace {

std::u16string FolderOf(const std::u16string& path) {
    const size_t slash = path.find_last_of(u'/', path.size() > 1 ? path.size() - 2 : 0);
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1);
}

}  // namespace

RowVerdicts::RowVerdicts(std::chrono::milliseconds bound)
    : bound_(bound), shared_(std::make_shared<Shared>()) {}

RowVerdicts::~RowVerdicts() {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->queue.clear();
    if (shared_->looker) shared_->looker->abandoned = true;
}

const RowVerdicts::Known* RowVerdicts::Find(const std::u16string& path) {
    auto it = known_.find(path);
    if (it != known_.end()) return &it->second;
    if (path.empty()) {
        static const Known kNone;  // a row without a path has nothing to judge
        return &kNone;
    }
    if (!asked_.insert(path).second) return nullptr;
    for (const std::u16string& dead : deadFolders_) {
        if (path.compare(0, dead.size(), dead) == 0) {
            asked_.erase(path);
            return &known_.emplace(path, Known{{}, true}).first->second;
        }
    }
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->queue.push_back(path);
    if (!shared_->looker) StartLooker();
    return nullptr;
}

// Called with the shared mutex held.
void RowVerdicts::StartLooker() {
    auto looker = std::make_shared<Shared::Looker>();
    shared_->looker = looker;
    const uint64_t generation = shared_->generation;
    bounded::Start([shared = shared_, looker, generation] {
        storage::DeviceFactsCache devices;
        for (;;) {
            std::u16string path;
            {
                std::lock_guard<std::mutex> lock(shared->mutex);
                looker->busy = false;
                if (looker->abandoned || shared->queue.empty() ||
                    shared->generation != generation) {
                    if (shared->looker == looker) shared->looker = nullptr;
                    return;
                }
                path = std::move(shared->queue.front());
                shared->queue.pop_front();
                looker->busy = true;
                looker->path = path;
                looker->since = std::chrono::steady_clock::now();
            }
            EntryVerdict verdict = VerdictOfEntry(path, &devices);
            std::lock_guard<std::mutex> lock(shared->mutex);
            if (!looker->abandoned && shared->generation == generation)
                shared->found.emplace_back(std::move(path), std::move(verdict));
        }
    });
}

bool RowVerdicts::Collect() {
    std::vector<std::pair<std::u16string, EntryVerdict>> found;
    std::vector<std::u16string> dead;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        found.swap(shared_->found);
        const auto& looker = shared_->looker;
        if (looker && looker->busy && std::chrono::steady_clock::now() - looker->since > bound_) {
            looker->abandoned = true;
            dead.push_back(looker->path);
            shared_->looker = nullptr;
            // The rest of its folder would only stop the next looker as well.
            const std::u16string folder = FolderOf(dead.front());
            deadFolders_.push_back(folder);
            std::deque<std::u16string> rest;
            for (std::u16string& p : shared_->queue) {
                if (p.compare(0, folder.size(), folder) == 0)
                    dead.push_back(std::move(p));
                else
                    rest.push_back(std::move(p));
            }
            shared_->queue.swap(rest);
        }
        if (!shared_->looker && !shared_->queue.empty()) StartLooker();
    }
    if (known_.size() + found.size() + dead.size() >= kMaxRemembered) known_.clear();
    bool any = false;
    for (auto& [path, verdict] : found) {
        if (!asked_.erase(path)) continue;
        known_[path] = Known{std::move(verdict), false};
        any = true;
    }
    for (std::u16string& path : dead) {
        if (!asked_.erase(path)) continue;
        known_[path] = Known{{}, true};
        any = true;
    }
    return any;
}

void RowVerdicts::Clear() {
    known_.clear();
    asked_.clear();
    deadFolders_.clear();
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->queue.clear();
    shared_->found.clear();
    ++shared_->generation;
    if (shared_->looker) shared_->looker->abandoned = true;
    shared_->looker = nullptr;
}
