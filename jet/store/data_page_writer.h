// Changing a data page: rewriting a row in place, repacking the page when a row changes size,
// adding a row. Works on a copy of the page, which the caller writes back through the page
// file, or on the page file's own buffer of the page (PageFile::edit), where it stands.
// The page's layout is drawn in data_page.h. A repacked page has its rows from the page's end
// in slot order with no gap between them and zeros below them. The free-space field and the
// row count follow every change; the rest of the header is kept as it was.
//
// A writer keeps what it worked out of the page's layout (where each row stands, whether it
// repacked the page itself), so that a row added to a page it is filling costs no repacking. A
// writer kept across calls on the page file's buffer is pointed at it again with attach()
// before each change; nothing else may change the page meanwhile.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "jet/base/bytes.h"
#include "jet/file/page_file.h"
#include "jet/format/format.h"

namespace jet::store {

// A row pointer's slot is one byte, and Access keeps fewer rows than that on a page.
inline constexpr std::uint16_t kMaxRowsPerPage = 255;

class DataPageWriter {
public:
    // Works on its own copy of `page`.
    DataPageWriter(const format::Format& fmt, file::Page page);
    // Works on `page` where it stands, the page file's buffer of it.
    DataPageWriter(const format::Format& fmt, std::span<std::uint8_t> page);
    DataPageWriter(DataPageWriter&&) = default;
    DataPageWriter& operator=(DataPageWriter&&) = delete;

    // The same page's bytes, as PageFile::edit() hands them back for the next change: the
    // writer's knowledge of the layout still holds, as no one else changed the page.
    void attach(std::span<std::uint8_t> page);
    // Whether the writer has worked out the page's layout, which it does at its first change.
    bool knowsLayout() const { return extents_.has_value(); }
    // Whether addRow() would take a row of `size` bytes, without changing anything. Once the
    // writer knows the layout, it reads no bytes: a writer kept between changes can tell before
    // it is attached again, and the page edited, for nothing.
    bool roomFor(std::size_t size) const;

    // A new, empty data page of the table whose definition starts at `tdefPage`.
    static file::Page emptyPage(const format::Format& fmt, std::uint32_t tdefPage);

    // The copy a writer made with a Page works on.
    const file::Page& page() const& { return own_; }
    // The bytes, for values rewritten where they stand (nothing else may change this way).
    std::span<std::uint8_t> bytes() { return page_; }
    std::span<const std::uint8_t> bytes() const { return page_; }
    // The copy, handed over by a writer that is done.
    file::Page page() && { return std::move(own_); }
    std::uint16_t slotCount() const;
    std::size_t freeSpace() const;

    // Puts `bytes` in place of row `slot` with the slot flags `flags`. A row of the same size is
    // overwritten where it stands; otherwise the page is repacked. False, changing nothing,
    // when the page has no room.
    bool replaceRow(std::uint16_t slot, ByteSpan bytes, std::uint16_t flags);

    // A row's new bytes and slot flags.
    struct Replacement {
        std::uint16_t slot = 0;
        ByteSpan bytes;
        std::uint16_t flags = 0;
    };
    // Puts each replacement in place of its row, repacking the page once for all of them. The
    // replacements name distinct slots in ascending order. False, changing nothing, when the
    // rows would not fit the page together.
    bool replaceRows(std::span<const Replacement> rows);

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
    // Lays the page out afresh with `changes` (ascending slots) in place of their rows; with
    // `append`, the last change is a row in a new slot after the others.
    bool rebuild(const std::vector<Extent>& old, std::span<const Replacement> changes, bool append);
    // addRow on a page this writer has repacked: the new row goes below the others, as a
    // repacking would put it, without moving them.
    std::optional<std::uint16_t> appendPacked(ByteSpan bytes, std::uint16_t flags);
    void setFreeSpace();

    void checkPage() const;

    const format::Format& fmt_;
    file::Page own_;                   // the copy worked on, if any
    std::span<std::uint8_t> page_;     // the bytes worked on: own_, or the page file's buffer
    std::vector<std::uint8_t> fresh_;  // where a repacking lays the rows out
    // The page is as rebuild() lays pages out: rows from the end of the page in slot order, no
    // gaps, exact offsets, zeros below them.
    bool packed_ = false;
    // Mutable, a cache: extents() works them out the first time they are asked for.
    mutable std::optional<std::vector<Extent>> extents_;
};

}  // namespace jet::store
