#include "jet/store/data_page_writer.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "jet/store/data_page.h"

namespace jet::store {
namespace {

constexpr std::size_t kFreeSpaceOffset = 2;
constexpr std::size_t kOwnerOffset = 4;

// put16, on bytes that may be the page file's.
void set16(std::span<std::uint8_t> b, std::size_t off, std::uint16_t v) {
    b[off] = static_cast<std::uint8_t>(v & 0xFF);
    b[off + 1] = static_cast<std::uint8_t>(v >> 8);
}

}  // namespace

DataPageWriter::DataPageWriter(const format::Format& fmt, file::Page page)
    : fmt_(fmt), own_(std::move(page)), page_(own_) {
    checkPage();
}

DataPageWriter::DataPageWriter(const format::Format& fmt, std::span<std::uint8_t> page)
    : fmt_(fmt), page_(page) {
    checkPage();
}

void DataPageWriter::checkPage() const {
    if (page_.size() != fmt_.pageSize || page_[0] != kDataPageType) {
        corrupt("a row's page is not a data page");
    }
    if (slotCount() > kMaxRowsPerPage ||
        fmt_.dataRowCountOffset + 2u + 2u * slotCount() > page_.size()) {
        corrupt("a data page claims more rows than fit");
    }
}

void DataPageWriter::attach(std::span<std::uint8_t> page) {
    assert(own_.empty() && "a writer with its own copy is not attached elsewhere");
    page_ = page;
#ifndef NDEBUG
    // What the writer knows of the layout must be what the bytes say.
    if (extents_) {
        const std::vector<Extent> known = std::move(*extents_);
        extents_.reset();
        const std::vector<Extent>& now = extents();
        assert(now.size() == known.size() &&
               "the page of a writer kept between changes changed under it");
        for (std::size_t i = 0; i < now.size(); ++i) {
            assert(now[i].start == known[i].start && now[i].length == known[i].length &&
                   now[i].flags == known[i].flags &&
                   "the page of a writer kept between changes changed under it");
        }
    }
#endif
}

bool DataPageWriter::roomFor(std::size_t size) const {
    // A row takes its bytes and a slot. Repacking (addRow on a page this writer has not packed)
    // gives back no room below the lowest row that the count here leaves out, and a packed page
    // has its lowest row last, so both ways of adding a row agree with this.
    const std::vector<Extent>& rows = extents();
    if (rows.size() >= kMaxRowsPerPage) return false;
    std::size_t lowest = fmt_.pageSize;
    if (packed_) {
        if (!rows.empty()) lowest = rows.back().start;
    } else {
        for (const auto& e : rows) lowest = std::min(lowest, e.start);
    }
    const std::size_t directoryEnd = fmt_.dataRowCountOffset + 2u + 2u * rows.size();
    return lowest > directoryEnd && size + 2u <= lowest - directoryEnd;
}

file::Page DataPageWriter::emptyPage(const format::Format& fmt, std::uint32_t tdefPage) {
    file::Page p(fmt.pageSize, 0);
    p[0] = kDataPageType;
    p[1] = 0x01;
    for (int i = 0; i < 4; ++i)
        p[kOwnerOffset + i] = static_cast<std::uint8_t>(tdefPage >> (8 * i));
    DataPageWriter w(fmt, std::move(p));
    w.setFreeSpace();
    return std::move(w).page();
}

std::uint16_t DataPageWriter::slotCount() const {
    return static_cast<std::uint16_t>(page_[fmt_.dataRowCountOffset] |
                                      (page_[fmt_.dataRowCountOffset + 1] << 8));
}

const std::vector<DataPageWriter::Extent>& DataPageWriter::extents() const {
    if (extents_) return *extents_;
    const std::size_t base = fmt_.dataRowCountOffset + 2;
    const std::size_t directoryEnd = base + 2u * slotCount();
    std::vector<Extent>& out = extents_.emplace(slotCount());
    std::size_t end = page_.size();
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::uint16_t raw =
            static_cast<std::uint16_t>(page_[base + 2 * i] | (page_[base + 2 * i + 1] << 8));
        const std::size_t start = raw & kRowOffsetMask;
        out[i].flags = raw & static_cast<std::uint16_t>(~kRowOffsetMask);
        if (start < directoryEnd || start > end) {
            // Only a deleted row may lie about its place; it keeps no bytes.
            if (!(out[i].flags & kSlotDeleted)) {
                extents_.reset();
                corrupt("a row with impossible bounds");
            }
            out[i].start = end;
            out[i].length = 0;
            continue;
        }
        out[i].start = start;
        out[i].length = end - start;
        end = start;
    }
    return out;
}

std::size_t DataPageWriter::freeSpace() const {
    std::size_t lowest = page_.size();
    for (const auto& e : extents()) lowest = std::min(lowest, e.start);
    const std::size_t directoryEnd = fmt_.dataRowCountOffset + 2u + 2u * slotCount();
    return lowest > directoryEnd ? lowest - directoryEnd : 0;
}

void DataPageWriter::setFreeSpace() {
    set16(page_, kFreeSpaceOffset, static_cast<std::uint16_t>(freeSpace()));
}

bool DataPageWriter::rebuild(const std::vector<Extent>& old, std::span<const Replacement> changes,
                             bool append) {
    const std::size_t count = old.size() + (append ? 1 : 0);
    std::size_t total = 0;
    {
        std::size_t next = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const bool changed = next < changes.size() && changes[next].slot == i;
            total += changed ? changes[next++].bytes.size() : old[i].length;
        }
    }
    const std::size_t directoryEnd = fmt_.dataRowCountOffset + 2u + 2u * count;
    if (directoryEnd + total > page_.size()) return false;

    // Rows stand from the end of the page in slot order: each ends where the previous begins.
    std::vector<Extent> laidOut(count);
    file::Page& fresh = fresh_;
    fresh.assign(page_.size(), 0);
    std::memcpy(fresh.data(), page_.data(), fmt_.dataRowCountOffset);
    put16(fresh, fmt_.dataRowCountOffset, static_cast<std::uint16_t>(count));
    std::size_t end = page_.size();
    std::size_t next = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const Replacement* change =
            next < changes.size() && changes[next].slot == i ? &changes[next++] : nullptr;
        const std::size_t length = change ? change->bytes.size() : old[i].length;
        const std::size_t start = end - length;
        if (length > 0) {
            std::memcpy(fresh.data() + start,
                        change ? change->bytes.data() : page_.data() + old[i].start, length);
        }
        const std::uint16_t slotFlags = change ? change->flags : old[i].flags;
        put16(fresh, fmt_.dataRowCountOffset + 2u + 2u * i,
              static_cast<std::uint16_t>(start | slotFlags));
        laidOut[i] = Extent{start, length, slotFlags};
        end = start;
    }
    if (!own_.empty()) {
        own_.swap(fresh);  // the old bytes become the next repacking's room
        page_ = own_;
    } else {
        std::memcpy(page_.data(), fresh.data(), page_.size());
    }
    extents_ = std::move(laidOut);  // `old` may be the extents kept: replaced last
    // The rows now end at `end`, right above the free space.
    set16(page_, kFreeSpaceOffset, static_cast<std::uint16_t>(end - directoryEnd));
    packed_ = true;
    return true;
}

bool DataPageWriter::replaceRow(std::uint16_t slot, ByteSpan bytes, std::uint16_t flags) {
    const auto& old = extents();
    if (slot >= old.size()) corrupt("a row number beyond the rows of its page");
    if (old[slot].length == bytes.size()) {
        if (!bytes.empty()) std::memcpy(page_.data() + old[slot].start, bytes.data(), bytes.size());
        set16(page_, fmt_.dataRowCountOffset + 2u + 2u * slot,
              static_cast<std::uint16_t>(old[slot].start | flags));
        (*extents_)[slot].flags = flags;
        return true;
    }
    const Replacement change{slot, bytes, flags};
    return rebuild(old, {&change, 1}, false);
}

bool DataPageWriter::replaceRows(std::span<const Replacement> rows) {
    const auto& old = extents();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].slot >= old.size()) corrupt("a row number beyond the rows of its page");
        assert((i == 0 || rows[i - 1].slot < rows[i].slot) && "replacements in slot order");
    }
    return rebuild(old, rows, false);
}

std::optional<std::uint16_t> DataPageWriter::appendPacked(ByteSpan bytes, std::uint16_t flags) {
    const std::uint16_t count = slotCount();
    if (count >= kMaxRowsPerPage) return std::nullopt;
    const std::size_t directory = fmt_.dataRowCountOffset + 2u;
    // The last row is the lowest one.
    const std::size_t lowest =
        count == 0 ? page_.size() : u16(page_, directory + 2u * (count - 1u)) & kRowOffsetMask;
    const std::size_t directoryEnd = directory + 2u * (count + 1u);
    if (bytes.size() > lowest || lowest - bytes.size() < directoryEnd) return std::nullopt;
    const std::size_t start = lowest - bytes.size();
    if (!bytes.empty()) std::memcpy(page_.data() + start, bytes.data(), bytes.size());
    set16(page_, directory + 2u * count, static_cast<std::uint16_t>(start | flags));
    set16(page_, fmt_.dataRowCountOffset, static_cast<std::uint16_t>(count + 1u));
    if (extents_) extents_->push_back(Extent{start, bytes.size(), flags});
    set16(page_, kFreeSpaceOffset, static_cast<std::uint16_t>(start - directoryEnd));
    return count;
}

std::optional<std::uint16_t> DataPageWriter::addRow(ByteSpan bytes, std::uint16_t flags) {
    if (packed_) return appendPacked(bytes, flags);
    const auto& old = extents();
    if (old.size() >= kMaxRowsPerPage) return std::nullopt;
    const auto slot = static_cast<std::uint16_t>(old.size());
    const Replacement added{slot, bytes, flags};
    if (!rebuild(old, {&added, 1}, true)) return std::nullopt;
    return slot;
}

}  // namespace jet::store
