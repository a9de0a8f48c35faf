#include "jet/store/long_value_writer.h"

#include <optional>
#include <set>
#include <string>

#include "jet/store/data_page.h"
#include "jet/store/data_page_writer.h"
#include "jet/store/long_value.h"
#include "jet/store/usage_map.h"
#include "jet/store/usage_map_writer.h"

namespace jet::store {
namespace {

// Long-value pages carry "LVAL" where data pages name their table.
constexpr std::uint32_t kLongValueOwner = 0x4C41564C;
constexpr std::size_t kPointerSize = 4;
// A page that cannot take a row this long counts as full: a value that short stays in its row.
constexpr std::size_t kSmallestRow = kMaxInlineLongValue + 1 + kPointerSize;

std::size_t maxRowData(const format::Format& fmt) {
    // A page's room for one row: the page less its header and one slot.
    return fmt.pageSize - fmt.dataRowCountOffset - 2u - 2u;
}

void putPointer(std::vector<std::uint8_t>& b, std::size_t at, RowLocation where) {
    b[at] = static_cast<std::uint8_t>(where.slot);
    b[at + 1] = static_cast<std::uint8_t>(where.page & 0xFF);
    b[at + 2] = static_cast<std::uint8_t>((where.page >> 8) & 0xFF);
    b[at + 3] = static_cast<std::uint8_t>((where.page >> 16) & 0xFF);
}

}  // namespace

LongValueWriter::LongValueWriter(file::PageFile& file, const format::Format& fmt,
                                 const TableDef& table)
    : file_(file), fmt_(fmt), table_(table) {}

std::uint32_t LongValueWriter::newPage(const ColumnDef& c) {
    if (c.longValuePagesRow == 0 || c.longValueFreePagesRow == 0) {
        throw Error(ErrorCode::Unsupported,
                    "Field '" + c.name + "' of table '" + table_.name +
                        "' keeps no map of its long-value pages, so a new one cannot be added.");
    }
    const std::uint32_t page = appendPage(
        file_, fmt_,
        {RowPointer::from(c.longValuePagesRow), RowPointer::from(c.longValueFreePagesRow)});
    file_.writePage(page, DataPageWriter::emptyPage(fmt_, kLongValueOwner));
    return page;
}

RowLocation LongValueWriter::addRow(const ColumnDef& c, ByteSpan bytes) {
    const RowPointer freeMap = RowPointer::from(c.longValueFreePagesRow);
    // Puts the row on `pageNo` if it is a long-value page with room; a page left too full for
    // another row leaves the map of pages with room.
    const auto tryPage = [&](std::uint32_t pageNo) -> std::optional<RowLocation> {
        const auto page = file_.page(pageNo);
        if ((*page)[0] != kDataPageType || DataPage(fmt_, *page).ownerPage() != kLongValueOwner) {
            return std::nullopt;
        }
        DataPageWriter w(fmt_, *page);
        const auto slot = w.addRow(bytes, 0);
        const bool full = !w.roomFor(kSmallestRow);
        if (slot) file_.writePage(pageNo, w.page());
        if (full && c.longValueFreePagesRow != 0 && covers(file_, fmt_, freeMap, pageNo)) {
            markPage(file_, fmt_, freeMap, pageNo, false);
        }
        if (!slot) return std::nullopt;
        lastPage_[c.number] = pageNo;
        return RowLocation{pageNo, *slot};
    };
    const auto last = lastPage_.find(c.number);
    const bool hasLast = last != lastPage_.end();
    if (hasLast) {
        if (const auto at = tryPage(last->second)) return *at;
    }
    // Then the field's last page with room: pages that filled have left that map.
    if (c.longValueFreePagesRow != 0) {
        const auto withRoom = lastMarkedPage(file_, fmt_, freeMap);
        if (withRoom && !(hasLast && *withRoom == last->second)) {
            if (const auto at = tryPage(*withRoom)) return *at;
        }
    }
    const auto at = tryPage(newPage(c));
    if (!at) corrupt("a long-value row does not fit an empty page");
    return *at;
}

std::vector<std::uint8_t> LongValueWriter::store(const ColumnDef& c,
                                                 const std::vector<std::uint8_t>& data) {
    if (data.size() > kLongValueLengthMask) {
        throw Error(ErrorCode::ValueTooLong, "The value of field '" + c.name + "' is too long.");
    }
    if (data.size() <= kMaxInlineLongValue) return inlineLongValue(data);
    std::vector<std::uint8_t> ref(kLongValueReferenceSize, 0);
    const auto length = static_cast<std::uint32_t>(data.size());
    const std::size_t room = maxRowData(fmt_);
    if (data.size() <= room) {
        put32(ref, 0, length | kLongValueSingleRow);
        putPointer(ref, 4, addRow(c, data));
        return ref;
    }
    // A chain: each row starts with the pointer to the next. Written from the end backwards,
    // so every row knows its successor when it is written.
    const std::size_t chunk = room - kPointerSize;
    const std::size_t chunks = (data.size() + chunk - 1) / chunk;
    RowLocation next{0, 0};
    for (std::size_t i = chunks; i-- > 0;) {
        const std::size_t begin = i * chunk;
        const std::size_t end = std::min(data.size(), begin + chunk);
        std::vector<std::uint8_t> row(kPointerSize, 0);
        if (next.page != 0) putPointer(row, 0, next);
        row.insert(row.end(), data.begin() + static_cast<std::ptrdiff_t>(begin),
                   data.begin() + static_cast<std::ptrdiff_t>(end));
        next = addRow(c, row);
    }
    put32(ref, 0, length);
    putPointer(ref, 4, next);
    return ref;
}

void LongValueWriter::release(ByteSpan field) {
    need(field, 0, kLongValueReferenceSize, "a long value reference");
    const std::uint32_t header = u32(field, 0);
    if (header & kLongValueInline) return;
    RowPointer at = RowPointer::from(u32(field, 4));
    const bool chain = !(header & kLongValueSingleRow);
    std::set<std::uint64_t> seen;
    while (at.page != 0) {
        if (!seen.insert((std::uint64_t{at.page} << 8) | at.slot).second) {
            corrupt("a long value chain loops");
        }
        DataPageWriter w(fmt_, *file_.page(at.page));
        RowPointer next{0, 0};
        if (chain) {
            const ByteSpan row = rowAt(fmt_, w.page(), at.slot);
            next = RowPointer::from(u32(row, 0, "a long value chain"));
        }
        // A freed row keeps its slot, so the slots after it keep their numbers, and gives its
        // bytes back to the page.
        w.replaceRow(at.slot, {}, kSlotDeleted | kSlotForwarded);
        file_.writePage(at.page, w.page());
        at = next;
    }
}

}  // namespace jet::store
