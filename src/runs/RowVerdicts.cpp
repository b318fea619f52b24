#include "runs/RowVerdicts.h"

const EntryVerdict& RowVerdicts::Of(const std::u16string& path) {
    auto it = known_.find(path);
    if (it != known_.end()) return it->second;
    if (known_.size() >= kMaxRemembered) Clear();
    return known_.emplace(path, VerdictOfEntry(path, &devices_)).first->second;
}

void RowVerdicts::Clear() {
    known_.clear();
    devices_ = storage::DeviceFactsCache();
}
