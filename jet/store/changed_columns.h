// The columns a statement changes in one row, kept two ways at once: as a flag per column (in the
// table's column order), for the checks that ask "did this column change?", and as the list of
// their indexes in ascending order, for the writers that walk only what changed.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace jet::store {

class ChangedColumns {
public:
    explicit ChangedColumns(std::size_t columnCount) : mask_(columnCount, false) {}

    // Marks column `index` (a second mark changes nothing).
    void mark(std::size_t index) {
        if (mask_[index]) return;
        mask_[index] = true;
        list_.insert(std::upper_bound(list_.begin(), list_.end(), index), index);
    }
    void markAll() {
        for (std::size_t i = 0; i < mask_.size(); ++i) mark(i);
    }
    void clear() {
        for (const std::size_t i : list_) mask_[i] = false;
        list_.clear();
    }

    bool contains(std::size_t index) const { return mask_[index]; }
    bool empty() const { return list_.empty(); }
    const std::vector<bool>& mask() const { return mask_; }
    const std::vector<std::size_t>& list() const { return list_; }

private:
    std::vector<bool> mask_;
    std::vector<std::size_t> list_;
};

}  // namespace jet::store
