// The pages a PageFile read lately, as the file holds them (decoded), in a small LRU cache: a
// table scan touches each data page once, but usage maps, long values and table definitions are
// read again and again.
//
// The cache holds clean pages only: pages a write has changed and not yet flushed are the
// write's own (page_file.h); a flushed page comes here, and a page about to be changed is taken
// out, buffer and all, so that it is never in both places. A page's bytes are shared with
// whoever read them (PageRef); the page file never changes bytes someone else holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>
#include <utility>

#include "jet/file/page_snapshot.h"

namespace jet::file {

// A page's bytes, owned by the page file, which may change them (PageFile::edit).
using PageBuffer = std::shared_ptr<Page>;

class PageCache {
public:
    explicit PageCache(std::size_t capacity) : capacity_(capacity < 1 ? 1 : capacity) {}

    // The page, made the most recently used; null when it is not here.
    PageRef find(std::uint32_t number);
    // Adds page `number`, or replaces what is held for it, as the most recently used; the least
    // recently used one goes when the cache is full.
    void put(std::uint32_t number, PageBuffer page);
    // Takes page `number` out: its buffer, or null when it is not here.
    PageBuffer take(std::uint32_t number);
    bool contains(std::uint32_t number) const { return pages_.contains(number); }
    // Drops every page: the file changed under them, or a write was rolled back.
    void clear();
    std::size_t size() const { return pages_.size(); }

private:
    // Debug and sanitizer builds: the list and the map name the same pages, within capacity.
    void assertBookkeeping() const;

    std::size_t capacity_;
    std::list<std::uint32_t> lru_;  // most recently used first
    std::unordered_map<std::uint32_t, std::pair<PageBuffer, std::list<std::uint32_t>::iterator>>
        pages_;
};

}  // namespace jet::file
