// Changing the rows of one table inside a write: a row rewritten where it stands, in its page
// after repacking, or moved to a page with room and reached through a forwarding pointer left
// in its old slot (so that index entries naming the old place stay valid).
//
// Rows are changed in the page file's own buffers (PageFile::edit): every change is in the
// page file at once, for every reader, and nothing is left to write at the end. New rows, and
// rows that move, fill one page after another. The writer keeps a DataPageWriter for the last
// two pages it changed (the page being filled, the page whose rows are being changed), for what
// it worked out of their layout: a statement that adds many rows repacks each page once, not
// once per row. That knowledge holds because no one else changes this table's data pages while
// the writer works on them: one TableWriter changes a table's rows at a time.
#pragma once

#include <cstdint>
#include <list>
#include <optional>
#include <span>
#include <vector>

#include "jet/file/page_file.h"
#include "jet/format/format.h"
#include "jet/format/schema.h"
#include "jet/store/data_page_writer.h"
#include "jet/store/long_value_writer.h"
#include "jet/store/row_codec.h"
#include "jet/store/row_encoder.h"

namespace jet::store {

class TableWriter final {
public:
    TableWriter(file::PageFile& file, const format::Format& fmt, const TableDef& table,
                std::uint16_t codePage);
    TableWriter(const TableWriter&) = delete;
    TableWriter& operator=(const TableWriter&) = delete;

    // Replaces the values of the row the scan found at `where`. Columns whose `changed` flag is
    // false keep their stored bytes exactly.
    void updateRow(RowLocation where, const std::vector<Value>& values,
                   const std::vector<bool>& changed);

    // A row's new values, for updateRows().
    struct RowUpdate {
        std::uint16_t slot = 0;
        std::vector<Value> values;
        std::vector<bool> changed;
    };
    // A row's new stored bytes, worked out by the caller from the bytes the scan found in its
    // slot (a row of its own slot, not forwarded), for updateRows().
    struct EncodedRow {
        std::uint16_t slot = 0;
        ByteSpan bytes;
    };
    // The least a row is stored in: it may have to hold a forwarding pointer one day.
    static constexpr std::size_t kMinRowSize = 4;

    // updateRow() for rows of data page `pageNo` found there by the scan (ascending slots), with
    // the page laid out once for all of them; `encoded` (ascending slots, none of them in `rows`)
    // are rows whose new bytes are known already. The changed rows keep their slots while the
    // page has room for them; once it has none, the last of them move to other pages, each
    // leaving a forwarding pointer in its slot. A statement whose rows grow moves a few rows
    // this way instead of most of them.
    void updateRows(std::uint32_t pageNo, std::span<const RowUpdate> rows,
                    std::span<const EncodedRow> encoded = {});

    // Rewrites the changed values of the row the scan found at `where` in place, when that is
    // the whole change: each changed column fixed-length (not a Yes/No field, which lives in the
    // null mask, nor calculated), the row at its own slot and holding the column, and the value
    // Null neither before nor after. Otherwise false, and nothing is done: use updateRow().
    // `changed` lists the changed columns by index.
    bool updateInPlace(RowLocation where, const std::vector<Value>& values,
                       std::span<const std::size_t> changed);
    // What updateRow would do to the row at `where` with these values, worked out without
    // changing anything: how many bytes its stored form grows by (long values counted at the
    // size of their reference) and how many bytes its page has free. A statement weighs from
    // this whether its rows would move.
    struct Growth {
        std::ptrdiff_t bytes = 0;
        std::size_t pageFree = 0;
        std::size_t size = 0;  // of the row as it is stored now
    };
    Growth growth(RowLocation where, const std::vector<Value>& values,
                  const std::vector<bool>& changed) const;

    // Stores a new row (values in the table's column order, AutoNumbers already given) on the
    // table's last page with room, or on a new page; the row count is the caller's to adjust.
    RowLocation insertRow(const std::vector<Value>& values);

    // Marks the row at `where` deleted (and the moved body of a forwarded row).
    void deleteRow(RowLocation where);

    // Adds `delta` to the row count the table definition keeps.
    void adjustRowCount(std::int64_t delta);
    // Records the last AutoNumber given out; the next row gets the one after it.
    void setLastAutoNumber(std::uint32_t value);

private:
    // Where the row's bytes live now: its own slot, or the body a forwarding pointer names.
    struct Body {
        RowLocation at;
        bool forwarded = false;  // `at` is a moved body, not the row's own slot
    };
    Body findBody(RowLocation where) const;
    // The stored form of the row `oldBytes` with `values` in place of its
    // changed columns: new long values are stored, and those they replace given back. Padded to
    // the row's old size when `padToOldSize`, so that it can take the old row's place as it
    // stands; at least a forwarding pointer long in any case.
    std::vector<std::uint8_t> encodeUpdate(ByteSpan oldBytes, const std::vector<Value>& values,
                                           const std::vector<bool>& changed, bool padToOldSize);
    // The bytes of a forwarding pointer to `body`, `size` long.
    static std::vector<std::uint8_t> forwardingPointer(RowLocation body, std::size_t size);
    // Adds row bytes with the given slot flags to a page of the table other than `avoidPage`.
    RowLocation place(ByteSpan bytes, std::uint16_t flags, std::uint32_t avoidPage);
    std::uint32_t newDataPage();
    // Whether data page `pageNo` of this table can take a row of `size` bytes; looks at the page
    // without changing it.
    bool hasRoom(std::uint32_t pageNo, std::size_t size);
    // The writer of data page `pageNo`, on the page file's buffer of it, edited from now on.
    DataPageWriter& edit(std::uint32_t pageNo);

    struct PageWriter {
        std::uint32_t page;
        DataPageWriter writer;
    };

    file::PageFile& file_;
    const format::Format& fmt_;
    const TableDef& table_;
    RowDecoder decoder_;
    RowEncoder encoder_;
    LongValueWriter longValues_;
    std::optional<std::uint32_t> lastPageWithRoom_;
    // The highest page the table's map of pages with room marks: read once, then raised by each
    // page this writer adds (nothing takes a page off that map). Reading the map for every new
    // page would cost time in proportion to the table's size, each time.
    std::optional<std::optional<std::uint32_t>> lastMarkedWithRoom_;
    // The writers of the last pages changed, the most recent last; at most two.
    std::list<PageWriter> pageWriters_;
    // updateInPlace's, kept between rows: where each changed field stands in the page.
    std::vector<std::pair<std::size_t, std::size_t>> fields_;
    // encodeUpdate's, kept between rows: where each field of the old row stands.
    std::vector<std::optional<ByteSpan>> keep_;
};

}  // namespace jet::store
