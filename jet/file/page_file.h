// Page I/O over one database file: reads whole pages by number through a small cache, and
// knows nothing of what the pages hold. Page 0 is handed out with its masked header part
// already unmasked.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace jet::file {

using Page = std::vector<std::uint8_t>;
using PageRef = std::shared_ptr<const Page>;

class PageFile {
public:
    // Opens the file for reading. Throws Error(FileNotFound) when it does not exist.
    explicit PageFile(const std::string& path);
    ~PageFile();
    PageFile(const PageFile&) = delete;
    PageFile& operator=(const PageFile&) = delete;

    const std::string& path() const { return path_; }
    std::uint64_t sizeInBytes() const { return size_; }

    // Reads `length` bytes at `offset`; short reads are errors.
    std::vector<std::uint8_t> readAt(std::uint64_t offset, std::size_t length) const;

    // Fixes the page size once the header has been read.
    void setPageSize(std::uint32_t pageSize);
    std::uint32_t pageSize() const { return pageSize_; }
    std::uint32_t pageCount() const { return static_cast<std::uint32_t>(size_ / pageSize_); }

    // Page `number`; throws Error(Corrupt) for a page beyond the end of the file.
    PageRef page(std::uint32_t number) const;
    // Installs the unmasked copy of page 0.
    void setHeaderPage(Page page);

private:
    std::string path_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::uint32_t pageSize_ = 4096;

    // A small LRU cache: a table scan touches each data page once, but usage maps, long values
    // and table definitions are read again and again.
    static constexpr std::size_t kCachePages = 64;
    mutable std::list<std::uint32_t> lru_;
    mutable std::unordered_map<std::uint32_t, std::pair<PageRef, std::list<std::uint32_t>::iterator>>
        cache_;
    PageRef header_;
};

}  // namespace jet::file
