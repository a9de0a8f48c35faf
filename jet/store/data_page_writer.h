// Changing a data page: rewriting a row in place, repacking the page when a row changes size,
// adding a row. Works on a copy of the page; the caller writes it back through the page file.
// The page's layout is drawn in data_page.h. A repacked page has its rows from the page's end
// in slot order with no gap between them and zeros below them. The free-space field and the
// row count follow every change; the rest of the header is kept as it was.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "jet/file/page_file.h"
#include "jet/format/format.h"
#include "jet/base/bytes.h"

namespace jet::store {

// A row pointer's slot is one byte, and Access keeps fewer rows than that on a page.
inline constexpr std::uint16_t kMaxRowsPerPage = 255;

class DataPageWriter {
public:
    DataPageWriter(const format::Format& fmt, file::Page page);

    // A new, empty data page of the table whose definition starts at `tdefPage`.
    static file::Page emptyPage(const format::Format& fmt, std::uint32_t tdefPage);

    const file::Page& page() const& { return page_; }
    // The bytes, for values rewritten where they stand (nothing else may change this way).
    std::span<std::uint8_t> bytes() { return page_; }
    // The bytes, handed over by a writer that is done.
    file::Page page() && { return std::move(page_); }
    std::uint16_t slotCount() const;
    std::size_t freeSpace() const;

    // Puts `bytes` in place of row `slot` with the slot flags `flags`. A row of the same size is
    // overwritten where it stands; otherwise the page is repacked. False, changing nothing,
    // when the page has no room.
    bool replaceRow(std::uint16_t slot, ByteSpan bytes, std::uint16_t flags);

    // Adds a row in a new slot; nullopt, changing nothing, when it does not fit.
    std::optional<std::uint16_t> addRow(ByteSpan bytes, std::uint16_t flags);

private:
    struct Extent {
        std::size_t start = 0;
        std::size_t length = 0;
        std::uint16_t flags = 0;
    };
    // The rows' extents, worked out once and kept up to date by every change.
    const std::vector<Extent>& extents() const;
    bool rebuild(const std::vector<Extent>& old, std::uint16_t target, ByteSpan bytes,
                 std::uint16_t flags, bool append);
    // addRow on a page this writer has repacked: the new row goes below the others, as a
    // repacking would put it, without moving them.
    std::optional<std::uint16_t> appendPacked(ByteSpan bytes, std::uint16_t flags);
    void setFreeSpace();

    const format::Format& fmt_;
    file::Page page_;
    // The page is as rebuild() lays pages out: rows from the end of the page in slot order, no
    // gaps, exact offsets, zeros below them.
    bool packed_ = false;
    mutable std::optional<std::vector<Extent>> extents_;
};

}  // namespace jet::store
