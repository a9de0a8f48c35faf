// The snapshots open on one PageFile (page_snapshot.h), and the one reads answer from.
//
// A snapshot belongs to whoever took it; the set only keeps track of the open ones, to give
// them the committed bytes of each page a write is about to change for the first time. With no
// snapshot open this costs a test of an empty list per page a write first changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "jet/file/page_codec.h"
#include "jet/file/page_snapshot.h"

namespace jet::file {

class SnapshotSet {
public:
    // A snapshot of the file as it is: `sizeInBytes` long, in the given generation. Images go
    // to a store made with the other arguments the first time.
    std::shared_ptr<const PageSnapshot> take(std::uint64_t sizeInBytes, std::uint32_t pageSize,
                                             std::uint64_t generation,
                                             const std::string& databasePath,
                                             std::shared_ptr<const PageCodec> codec);
    bool empty() const { return snapshots_.empty(); }
    // Before page `number` is first changed by a write: gives every open snapshot of this
    // generation that reaches the page and has no image of it the page's committed bytes, which
    // `committed()` reads only when one needs them.
    template <typename Committed>
    void saveBeforeChange(std::uint32_t number, std::uint64_t generation, Committed&& committed);

    // The snapshot reads answer from; null: the file as it is.
    const PageSnapshot* view() const { return view_; }
    // Returns the view set before, for the caller to put back.
    const PageSnapshot* setView(const PageSnapshot* snapshot) {
        return std::exchange(view_, snapshot);
    }

    void setMemoryBudget(std::size_t bytes);
    ImageUsage usage() const { return images_ ? images_->usage() : ImageUsage{}; }

private:
    std::vector<std::weak_ptr<PageSnapshot>> snapshots_;
    std::shared_ptr<PageImageStore> images_;
    std::size_t memoryBudget_ = std::size_t{64} << 20;  // images beyond it go to a temporary file
    const PageSnapshot* view_ = nullptr;
};

template <typename Committed>
void SnapshotSet::saveBeforeChange(std::uint32_t number, std::uint64_t generation,
                                   Committed&& committed) {
    if (snapshots_.empty()) return;
    std::erase_if(snapshots_, [](const auto& s) { return s.expired(); });
    std::shared_ptr<const PageImage> image;
    for (const auto& weak : snapshots_) {
        const auto snapshot = weak.lock();
        if (snapshot->generation() != generation || number >= snapshot->pageCount() ||
            snapshot->image(number) != nullptr) {
            continue;
        }
        if (!image) image = images_->save(number, committed());
        snapshot->keep(number, image);
    }
}

}  // namespace jet::file
