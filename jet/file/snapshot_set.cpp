#include "jet/file/snapshot_set.h"

namespace jet::file {

std::shared_ptr<const PageSnapshot> SnapshotSet::take(std::uint64_t sizeInBytes,
                                                      std::uint32_t pageSize,
                                                      std::uint64_t generation,
                                                      const std::string& databasePath,
                                                      std::shared_ptr<const PageCodec> codec) {
    if (!images_) {
        images_ = std::make_shared<PageImageStore>(databasePath, pageSize, memoryBudget_,
                                                   std::move(codec));
    }
    auto snapshot = std::make_shared<PageSnapshot>(sizeInBytes, pageSize, generation);
    std::erase_if(snapshots_, [](const auto& s) { return s.expired(); });
    snapshots_.push_back(snapshot);
    return snapshot;
}

void SnapshotSet::setMemoryBudget(std::size_t bytes) {
    memoryBudget_ = bytes;
    if (images_) images_->setMemoryBudget(bytes);
}

}  // namespace jet::file
