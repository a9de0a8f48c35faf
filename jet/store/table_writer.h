// Changing the rows of one table inside a write: a row rewritten where it stands, in its page
// after repacking, or moved to a page with room and reached through a forwarding pointer left
// in its old slot (so that index entries naming the old place stay valid).
//
// New rows, and rows that move, fill one page after another. After keepPages(), the page
// being filled stays with the writer, kept in the page file (see PageFile's kept pages), and is
// written when it is full, when something else reads it, or by flush().
//
// After keepPages() too, the page whose rows are being changed (updateInPlace, updateRow) stays
// with the writer, kept the same way, until a row of another page is changed, something reads the
// page, or flush(): a statement that changes every row of a table copies and writes each page once.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "jet/format/schema.h"
#include "jet/file/page_file.h"
#include "jet/format/format.h"
#include "jet/store/data_page_writer.h"
#include "jet/store/long_value_writer.h"
#include "jet/store/row_codec.h"
#include "jet/store/row_encoder.h"

namespace jet::store {

class TableWriter final : private file::PageKeeper {
public:
    TableWriter(file::PageFile& file, const format::Format& fmt, const TableDef& table,
                std::uint16_t codePage);
    ~TableWriter();
    TableWriter(const TableWriter&) = delete;
    TableWriter& operator=(const TableWriter&) = delete;

    // Replaces the values of the row the scan found at `where`. Columns whose `changed` flag is
    // false keep their stored bytes exactly.
    void updateRow(RowLocation where, const std::vector<Value>& values,
                   const std::vector<bool>& changed);

    // Rewrites the changed values of the row the scan found at `where` in place, when that is
    // the whole change: each changed column fixed-length (not a Yes/No field, which lives in the
    // null mask, nor calculated), the row at its own slot and holding the column, and the value
    // Null neither before nor after. Otherwise false, and nothing is done: use updateRow().
    // `changed` lists the changed columns by index.
    bool updateInPlace(RowLocation where, const std::vector<Value>& values,
                       std::span<const std::size_t> changed);
    // Stores a new row (values in the table's column order, AutoNumbers already given) on the
    // table's last page with room, or on a new page; the row count is the caller's to adjust.
    RowLocation insertRow(const std::vector<Value>& values);

    // Keeps the page being filled, and the page whose rows are being changed, from now on; the
    // caller calls flush() when it is done. Without it every call writes what it changed.
    void keepPages() { keepPages_ = true; }
    // Writes the page being filled and the page whose rows were changed.
    void flush();

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
    void changeRow(RowLocation where, const std::vector<Value>& values,
                   const std::vector<bool>& changed);
    // Adds row bytes with the given slot flags to a page of the table other than `avoidPage`.
    RowLocation place(const std::vector<std::uint8_t>& bytes, std::uint16_t flags,
                      std::uint32_t avoidPage);
    std::uint32_t newDataPage();
    void writeKeptPage(std::uint32_t pageNo) override;
    // The page rows are being changed on: the held page when it is that one, else a writer of
    // the page as the file holds it, held (and kept) from now on, the page held before written.
    DataPageWriter& hold(std::uint32_t pageNo);
    // The bytes of page `pageNo` as they stand now: the held page's, or the file's (kept alive
    // by `holder`).
    const file::Page& current(std::uint32_t pageNo, file::PageRef& holder) const;
    void writeHeld();
    void writeFilling();

    file::PageFile& file_;
    const format::Format& fmt_;
    const TableDef& table_;
    RowDecoder decoder_;
    RowEncoder encoder_;
    LongValueWriter longValues_;
    std::optional<std::uint32_t> lastPageWithRoom_;
    bool keepPages_ = false;
    std::optional<DataPageWriter> filling_;  // kept: the page lastPageWithRoom_ names
    std::uint32_t fillingPage_ = 0;
    std::vector<ByteSpan> fields_;        // updateInPlace's, kept between rows
    std::optional<DataPageWriter> held_;  // kept: the page whose rows are being changed
    std::uint32_t heldPage_ = 0;
};

}  // namespace jet::store
