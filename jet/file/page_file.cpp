#include "jet/file/page_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "jet/error.h"

namespace jet::file {

PageFile::PageFile(const std::string& path) : path_(path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            throw Error(ErrorCode::FileNotFound, "Could not find file '" + path + "'.");
        }
        throw Error(ErrorCode::Io,
                    "Cannot open '" + path + "': " + std::strerror(errno) + ".");
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        if (S_ISDIR(st.st_mode)) {
            throw Error(ErrorCode::FileNotFound, "Could not find file '" + path + "'.");
        }
        throw Error(ErrorCode::UnrecognizedFormat,
                    "Unrecognized database format '" + path + "'.");
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
}

PageFile::~PageFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::vector<std::uint8_t> PageFile::readAt(std::uint64_t offset, std::size_t length) const {
    std::vector<std::uint8_t> buf(length);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd_, buf.data() + done, length - done,
                                  static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw Error(ErrorCode::Io,
                        "Cannot read '" + path_ + "': " + std::strerror(errno) + ".");
        }
        if (n == 0) {
            throw Error(ErrorCode::Corrupt, "'" + path_ + "' ends in the middle of a page.");
        }
        done += static_cast<std::size_t>(n);
    }
    return buf;
}

void PageFile::setPageSize(std::uint32_t pageSize) { pageSize_ = pageSize; }

void PageFile::setHeaderPage(Page page) { header_ = std::make_shared<const Page>(std::move(page)); }

PageRef PageFile::page(std::uint32_t number) const {
    if (number == 0 && header_) return header_;
    if (number >= pageCount()) {
        throw Error(ErrorCode::Corrupt, "a reference to page " + std::to_string(number) +
                                            ", beyond the end of the file (" +
                                            std::to_string(pageCount()) + " pages)");
    }
    if (auto it = cache_.find(number); it != cache_.end()) {
        lru_.splice(lru_.begin(), lru_, it->second.second);
        return it->second.first;
    }
    auto page = std::make_shared<const Page>(
        readAt(static_cast<std::uint64_t>(number) * pageSize_, pageSize_));
    if (cache_.size() >= kCachePages) {
        cache_.erase(lru_.back());
        lru_.pop_back();
    }
    lru_.push_front(number);
    cache_.emplace(number, std::make_pair(page, lru_.begin()));
    return page;
}

}  // namespace jet::file
