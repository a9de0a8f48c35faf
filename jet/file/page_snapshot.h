// Snapshots of a page file: the pages as they were at one moment, while the same PageFile goes on
// writing. Nothing is copied when a snapshot is taken. Instead, the first time a write
// transaction is about to change a page, the page file saves the page's committed bytes as an
// image for every open snapshot that has none of that page yet; a page that was never changed
// since is the same in the file as in the snapshot. Pages appended since need no image: nothing
// the snapshot can reach refers to them. One image serves every snapshot that needs it, and goes
// when the last of them closes.
//
// Images stay in memory up to a budget shared by the file's snapshots; beyond it they go to an
// unlinked temporary file and are read back when asked for. The pages of an encrypted database
// go there encrypted, as the database holds them.
//
// A snapshot only knows what this PageFile wrote. When another connection or program changes
// the file, the page file notices by its generation, and reading through an older snapshot
// fails rather than mixing its pages with the new ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "jet/file/page_codec.h"
#include "jet/file/posix_io.h"

namespace jet::file {

using Page = std::vector<std::uint8_t>;
using PageRef = std::shared_ptr<const Page>;

struct ImageUsage {
    std::size_t images = 0;
    std::uint64_t bytesInMemory = 0;
    std::uint64_t bytesInTempFile = 0;
};

class PageImageStore;

// One saved page. Gives its memory, or its place in the temporary file, back when it goes.
class PageImage {
public:
    PageImage(std::shared_ptr<PageImageStore> store, PageRef inMemory, std::uint32_t number,
              std::uint64_t slot);
    ~PageImage();
    PageImage(const PageImage&) = delete;
    PageImage& operator=(const PageImage&) = delete;

    PageRef bytes() const;

private:
    std::shared_ptr<PageImageStore> store_;
    PageRef inMemory_;  // null when the image is in the temporary file
    std::uint32_t number_;
    std::uint64_t slot_ = 0;  // its place there, in pages
    // A page read back stays shared while someone still holds it, such as a scan on it.
    // Mutable, a cache: bytes() fills it.
    mutable std::weak_ptr<const Page> readBack_;
};

// Where the images of one page file live. Images hold on to it, so it outlives the page file
// when a snapshot does.
class PageImageStore : public std::enable_shared_from_this<PageImageStore> {
public:
    // `codec`, when there is one, encodes the images that go to the temporary file.
    PageImageStore(std::string databasePath, std::uint32_t pageSize, std::size_t memoryBudget,
                   std::shared_ptr<const PageCodec> codec = nullptr);

    std::shared_ptr<const PageImage> save(std::uint32_t number, PageRef page);
    void setMemoryBudget(std::size_t bytes) { budget_ = bytes; }
    ImageUsage usage() const;

private:
    friend class PageImage;
    PageRef readBack(std::uint32_t number, std::uint64_t slot) const;
    void release(bool inMemory, std::uint64_t slot) noexcept;
    void openTempFile();

    std::string databasePath_;  // for errors
    std::uint32_t pageSize_;
    std::size_t budget_;
    std::shared_ptr<const PageCodec> codec_;
    std::size_t inMemory_ = 0;  // images
    std::size_t inTempFile_ = 0;
    posix::UniqueFd temp_;
    std::uint64_t tempSlots_ = 0;           // pages the temporary file has room for
    std::vector<std::uint64_t> freeSlots_;  // of those, the ones no image uses
};

// What a snapshot holds: the file's size and generation when it was taken, and the images of
// the pages changed since.
class PageSnapshot {
public:
    PageSnapshot(std::uint64_t sizeInBytes, std::uint32_t pageSize, std::uint64_t generation)
        : size_(sizeInBytes),
          pageCount_(static_cast<std::uint32_t>(sizeInBytes / pageSize)),
          generation_(generation) {}

    std::uint64_t sizeInBytes() const { return size_; }
    std::uint32_t pageCount() const { return pageCount_; }
    std::uint64_t generation() const { return generation_; }
    // Null when the page is unchanged since the snapshot was taken.
    const PageImage* image(std::uint32_t number) const {
        const auto it = images_.find(number);
        return it == images_.end() ? nullptr : it->second.get();
    }
    void keep(std::uint32_t number, std::shared_ptr<const PageImage> image) {
        images_.emplace(number, std::move(image));
    }

private:
    std::uint64_t size_;
    std::uint32_t pageCount_;
    std::uint64_t generation_;
    std::unordered_map<std::uint32_t, std::shared_ptr<const PageImage>> images_;
};

}  // namespace jet::file
