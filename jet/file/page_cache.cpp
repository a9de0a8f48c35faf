#include "jet/file/page_cache.h"

#include <cassert>

namespace jet::file {

void PageCache::assertBookkeeping() const {
    assert(lru_.size() == pages_.size() && "the LRU list and the map name the same pages");
    assert(pages_.size() <= capacity_ && "the cache stays within its capacity");
}

PageRef PageCache::find(std::uint32_t number) {
    const auto it = pages_.find(number);
    if (it == pages_.end()) return nullptr;
    lru_.splice(lru_.begin(), lru_, it->second.second);
    assert(it->second.first != nullptr && "the cache holds no empty entries");
    return it->second.first;
}

void PageCache::put(std::uint32_t number, PageBuffer page) {
    assert(page != nullptr && page->size() > 0 && "the cache holds pages, not empty buffers");
    if (const auto it = pages_.find(number); it != pages_.end()) {
        it->second.first = std::move(page);
        lru_.splice(lru_.begin(), lru_, it->second.second);
        assertBookkeeping();
        return;
    }
    if (pages_.size() >= capacity_) {
        pages_.erase(lru_.back());
        lru_.pop_back();
    }
    lru_.push_front(number);
    pages_.emplace(number, std::make_pair(std::move(page), lru_.begin()));
    assertBookkeeping();
}

PageBuffer PageCache::take(std::uint32_t number) {
    const auto it = pages_.find(number);
    if (it == pages_.end()) return nullptr;
    PageBuffer page = std::move(it->second.first);
    lru_.erase(it->second.second);
    pages_.erase(it);
    assertBookkeeping();
    return page;
}

void PageCache::clear() {
    pages_.clear();
    lru_.clear();
}

}  // namespace jet::file
