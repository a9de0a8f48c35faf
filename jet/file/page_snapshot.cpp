#include "jet/file/page_snapshot.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "jet/base/error.h"

namespace jet::file {

PageImage::PageImage(std::shared_ptr<PageImageStore> store, PageRef inMemory, std::uint32_t number,
                     std::uint64_t slot)
    : store_(std::move(store)), inMemory_(std::move(inMemory)), number_(number), slot_(slot) {}

PageImage::~PageImage() { store_->release(inMemory_ != nullptr, slot_); }

PageRef PageImage::bytes() const {
    if (inMemory_) return inMemory_;
    if (auto page = readBack_.lock()) return page;
    PageRef page = store_->readBack(number_, slot_);
    readBack_ = page;
    return page;
}

PageImageStore::PageImageStore(std::string databasePath, std::uint32_t pageSize,
                               std::size_t memoryBudget, std::shared_ptr<const PageCodec> codec)
    : databasePath_(std::move(databasePath)),
      pageSize_(pageSize),
      budget_(memoryBudget),
      codec_(std::move(codec)) {}

ImageUsage PageImageStore::usage() const {
    return ImageUsage{inMemory_ + inTempFile_, std::uint64_t{inMemory_} * pageSize_,
                      std::uint64_t{inTempFile_} * pageSize_};
}

std::shared_ptr<const PageImage> PageImageStore::save(std::uint32_t number, PageRef page) {
    if ((inMemory_ + 1) * std::size_t{pageSize_} <= budget_) {
        auto image =
            std::make_shared<const PageImage>(shared_from_this(), std::move(page), number, 0);
        ++inMemory_;
        return image;
    }
    try {
        if (temp_.get() < 0) openTempFile();
        std::uint64_t slot = tempSlots_;
        if (freeSlots_.empty()) {
            ++tempSlots_;
        } else {
            slot = freeSlots_.back();
            freeSlots_.pop_back();
        }
        try {
            if (codec_) {
                Page encoded = *page;
                codec_->encode(number, encoded);
                page = std::make_shared<const Page>(std::move(encoded));
            }
            posix::writeAll(temp_.get(), page->data(), pageSize_, slot * pageSize_,
                            "a temporary file");
            auto image =
                std::make_shared<const PageImage>(shared_from_this(), nullptr, number, slot);
            ++inTempFile_;
            return image;
        } catch (...) {
            freeSlots_.push_back(slot);
            throw;
        }
    } catch (const Error& e) {
        throw Error(ErrorCode::Io, "Cannot keep the pages of '" + databasePath_ +
                                       "' as they were for a view opened earlier (" + e.what() +
                                       "); nothing was changed.");
    }
}

PageRef PageImageStore::readBack(std::uint32_t number, std::uint64_t slot) const {
    auto page = std::make_shared<Page>(pageSize_);
    if (posix::readUpTo(temp_.get(), page->data(), pageSize_, slot * pageSize_,
                        "a temporary file") != pageSize_) {
        throw Error(ErrorCode::Io, "The temporary file that keeps pages of '" + databasePath_ +
                                       "' as they were for a view became shorter.");
    }
    if (codec_) codec_->decode(number, *page);
    return page;
}

void PageImageStore::release(bool inMemory, std::uint64_t slot) noexcept {
    if (inMemory) {
        --inMemory_;
        return;
    }
    --inTempFile_;
    if (inTempFile_ == 0) {
        // Closing the unlinked file gives its space back.
        temp_.reset();
        tempSlots_ = 0;
        freeSlots_.clear();
        return;
    }
    try {
        freeSlots_.push_back(slot);
    } catch (...) {  // NOLINT(bugprone-empty-catch)
        // The slot stays unused until the file closes.
    }
}

void PageImageStore::openTempFile() {
    std::error_code ec;
    std::string dir = std::filesystem::temp_directory_path(ec).string();
    if (ec || dir.empty()) dir = "/tmp";
    temp_ = posix::anonymousFileIn(dir, "quillfen-pages");
}

}  // namespace jet::file
