// A table scan: the data pages the table's usage map lists, their rows in slot order, deleted
// rows skipped and forwarded rows followed to their bodies. One page in memory at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "jet/file/page_file.h"
#include "jet/format/format.h"
#include "jet/format/schema.h"
#include "jet/store/data_page.h"
#include "jet/store/row_codec.h"

namespace jet::store {

// The bytes of the live row at `where`, its forwarding followed; throws Error(Corrupt) when the
// slot holds no live row. The returned page keeps `bytes` alive.
file::PageRef liveRowBytes(const file::PageFile& file, const format::Format& fmt, RowLocation where,
                           ByteSpan& bytes);

class TableScan {
public:
    TableScan(const file::PageFile& file, const format::Format& fmt, const TableDef& table,
              std::uint16_t codePage);

    bool next();
    const std::vector<Value>& row() const { return values_; }
    // From now on reads only the columns `columns` marks; the others read as Null.
    void decodeOnly(std::vector<bool> columns) { only_ = std::move(columns); }
    RowLocation location() const { return location_; }
    // From now on next() decodes nothing, and row() is left as it was: the caller reads the
    // stored bytes of each row itself, through rowBytes().
    void decodeNone() { decode_ = false; }
    // The stored bytes of the current row, its forwarding followed. They stay as they are until
    // the next call to next(), whatever is written meanwhile.
    ByteSpan rowBytes() const { return bytes_; }
    // Whether the current row's body lies on another page than location() names.
    bool forwarded() const { return forwarded_; }
    // Where rowBytes() begin in the page location() names, for a row that is not forwarded.
    std::size_t rowOffset() const {
        return static_cast<std::size_t>(bytes_.data() - page_->data());
    }

private:
    const file::PageFile& file_;
    const format::Format& fmt_;
    const TableDef& table_;
    RowDecoder decoder_;
    std::vector<std::uint32_t> pages_;
    std::size_t pageIndex_ = 0;
    file::PageRef page_;
    std::uint16_t slot_ = 0;
    std::uint16_t slotCount_ = 0;
    std::vector<Value> values_;
    std::optional<std::vector<bool>> only_;
    bool decode_ = true;
    RowLocation location_;
    ByteSpan bytes_;
    bool forwarded_ = false;
    file::PageRef body_;  // the page of a forwarded row's body
};

}  // namespace jet::store
