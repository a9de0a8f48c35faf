// What a statement's write works with: the page file inside its write transaction, the format
// and the text code page; and the rows of a table as the write sees them, its own changes
// included. A statement reads and writes through this one context.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "jet/base/error.h"
#include "jet/file/page_file.h"
#include "jet/format/format.h"
#include "jet/format/schema.h"
#include "jet/store/table_scan.h"

namespace jet::store {

// The rows of one table in physical order, as the write in progress sees them. Damage met on the
// way is told with the file and the table, as the engine's reads tell it.
class WriteScan {
public:
    WriteScan(const file::PageFile& file, const format::Format& fmt, const TableDef& table,
              std::uint16_t codePage)
        : file_(file), table_(table), scan_(file, fmt, table, codePage) {}

    bool next() {
        try {
            return scan_.next();
        } catch (const Error& e) {
            throw placed(e, file_.path(), table_.name, Activity::Reading);
        }
    }
    const std::vector<Value>& row() const { return scan_.row(); }
    RowLocation location() const { return scan_.location(); }
    // From now on reads only the columns `columns` marks; the others read as Null.
    void decodeOnly(std::vector<bool> columns) { scan_.decodeOnly(std::move(columns)); }
    // As TableScan's: no decoding, the caller reads each row's stored bytes.
    void decodeNone() { scan_.decodeNone(); }
    ByteSpan rowBytes() const { return scan_.rowBytes(); }
    bool forwarded() const { return scan_.forwarded(); }
    std::size_t rowOffset() const { return scan_.rowOffset(); }

private:
    const file::PageFile& file_;
    const TableDef& table_;
    TableScan scan_;
};

struct WriteContext {
    file::PageFile& file;
    const format::Format& format;
    std::uint16_t codePage;
    bool catalogChanged = false;  // set by work that changes MSysObjects, to read it again

    // REQUIRES: `table` outlives the scan.
    WriteScan scan(const TableDef& table) const { return WriteScan(file, format, table, codePage); }
};

}  // namespace jet::store
