// Writing long values (Memo, OLE): inline in the row when small, else in one row of a
// long-value page, else in a chain of rows; and freeing the rows of a value that is replaced or
// deleted.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "jet/base/bytes.h"
#include "jet/file/page_file.h"
#include "jet/format/format.h"
#include "jet/format/schema.h"

namespace jet::store {

class LongValueWriter {
public:
    LongValueWriter(file::PageFile& file, const format::Format& fmt, const TableDef& table);

    // The column bytes for `data`: a 12-byte reference, followed by the data itself when it is
    // kept inline. Throws Error(Unsupported), changing nothing of the file, when the column has
    // no usage maps for its long-value pages and a new page would be needed.
    std::vector<std::uint8_t> store(const ColumnDef& column, const std::vector<std::uint8_t>& data);

    // Frees the long-value rows the reference at the start of `field` names (inline values have
    // none).
    void release(ByteSpan field);

private:
    RowLocation addRow(const ColumnDef& column, ByteSpan bytes);
    std::uint32_t newPage(const ColumnDef& column);

    file::PageFile& file_;
    const format::Format& fmt_;
    const TableDef& table_;
    // The page each column last wrote to: a page holds the values of the field whose maps
    // list it.
    std::map<std::uint16_t, std::uint32_t> lastPage_;
};

}  // namespace jet::store
