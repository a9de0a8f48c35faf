#include "jet/store/table_scan.h"

#include <string>

#include "jet/store/usage_map.h"

namespace jet::store {
namespace {
// Access forwards a row at most once; a few hops allow for odd files without risking a loop.
constexpr int kMaxForwardHops = 4;
}  // namespace

TableScan::TableScan(const file::PageFile& file, const format::Format& fmt, const TableDef& table,
                     std::uint16_t codePage)
    : file_(file),
      fmt_(fmt),
      table_(table),
      decoder_(file, fmt, table, codePage),
      pages_(readUsageMap(file, fmt, RowPointer::from(table.usedPagesRow))) {}

file::PageRef liveRowBytes(const file::PageFile& file, const format::Format& fmt, RowLocation where,
                           ByteSpan& bytes) {
    file::PageRef page = file.page(where.page);
    if ((*page)[0] != kDataPageType) corrupt("a row pointer names a page that holds no rows");
    Slot s = DataPage(fmt, *page).slot(where.slot);
    if (s.deleted) throw Error(ErrorCode::Corrupt, "the row was deleted");
    for (int hop = 0; s.forwarded; ++hop) {
        if (hop == kMaxForwardHops) corrupt("a forwarded row leads through too many pages");
        const std::uint8_t slot = u8(s.bytes, 0, "a forwarded row");
        const std::uint32_t pageNo = u24(s.bytes, 1, "a forwarded row");
        page = file.page(pageNo);
        if ((*page)[0] != kDataPageType) corrupt("a forwarded row points to a page without rows");
        // The moved body is marked deleted so that scans do not meet it twice; read it anyway.
        s.bytes = rowAt(fmt, *page, slot);
        s.forwarded = false;
    }
    bytes = s.bytes;
    return page;
}

bool TableScan::next() {
    for (;;) {
        if (page_ && slot_ < slotCount_) {
            const std::uint16_t slot = slot_++;
            const Slot s = DataPage(fmt_, *page_).slot(slot);
            if (s.deleted) continue;
            location_ = RowLocation{pages_[pageIndex_ - 1], slot};
            bytes_ = s.bytes;
            forwarded_ = s.forwarded;
            body_.reset();
            if (s.forwarded) body_ = liveRowBytes(file_, fmt_, location_, bytes_);
            if (decode_) decoder_.decode(bytes_, values_, only_ ? &*only_ : nullptr);
            return true;
        }
        if (pageIndex_ >= pages_.size()) {
            page_.reset();
            return false;
        }
        const std::uint32_t pageNo = pages_[pageIndex_++];
        page_ = file_.page(pageNo);
        slot_ = 0;
        slotCount_ = 0;
        // A page of type 0 that is not page 0 was never written: the table's rows that should
        // be there are lost, which must not pass for an empty page.
        if ((*page_)[0] == 0x00) {
            corrupt("page " + std::to_string(pageNo) +
                    ", which the table's usage map lists, is blank");
        }
        // The map may list pages that hold no rows of this table; they are not rows.
        if ((*page_)[0] != kDataPageType) continue;
        const DataPage dp(fmt_, *page_);
        if (dp.ownerPage() != table_.definitionPage) continue;
        slotCount_ = dp.slotCount();
    }
}

}  // namespace jet::store
