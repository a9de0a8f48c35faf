#include "jet/check/table_check.h"

#include <map>
#include <optional>

#include "jet/check/long_value_check.h"
#include "jet/check/map_reading.h"
#include "jet/check/page_set.h"
#include "jet/check/row_marks.h"
#include "jet/store/data_page.h"
#include "jet/store/row_codec.h"

namespace jet::check {
namespace {

constexpr std::uint8_t kOleType = 0x0B;
constexpr std::uint8_t kMemoType = 0x0C;
constexpr std::size_t kForwardPointerSize = 4;

bool holdsLongValues(std::uint8_t type) { return type == kOleType || type == kMemoType; }

class TableChecker {
public:
    TableChecker(CheckContext& ctx, const std::string& name, const TableLayout& layout,
                 const TableDef* def)
        : ctx_(ctx),
          layout_(layout),
          def_(def),
          table_("table " + quoted(name)),
          definitionPage_(layout.definitionPages.front()),
          ownedPages_(ctx.file.pageCount()),
          bodies_(ctx.file.pageCount()) {
        if (def_ != nullptr) decoder_.emplace(ctx.file, ctx.fmt, *def_, ctx.codePage);
    }

    TableRows run() {
        checkDefinitionCounts();
        readLongValueMaps();
        rows_.nullKey.resize(def_ != nullptr ? layout_.indexes.size() : 0);
        const auto owned = readMapOf("data pages", layout_.usedPagesRow);
        if (!owned) return std::move(rows_);
        ownedPages_.insertAll(owned->pages);
        checkFreeSpaceMap();
        rows_.complete = true;
        rows_.live.reserve(owned->pages.size());
        for (const std::uint32_t page : owned->pages) checkDataPage(page);
        // Access brings the stored count up to date lazily (its autonumber counter, in the
        // same definition, is current when the count is not), so a mismatch alone is not
        // damage.
        if (rows_.complete && layout_.rowCount != rows_.live.size()) {
            ctx_.faults.warn(FaultKind::RowCount, table_ + ": row count",
                             table_ + ": its definition says it has " +
                                 std::to_string(layout_.rowCount) + " rows, but its pages hold " +
                                 std::to_string(rows_.live.size()) + " live rows");
        }
        return std::move(rows_);
    }

private:
    // The definition's two column counts are high-water marks: columns deleted since keep
    // their number and variable-column slot, so the counts bound the numbers and slots in use.
    void checkDefinitionCounts() {
        for (const auto& c : layout_.columns) {
            if (c.number >= layout_.maxColumns) {
                ctx_.faults.add(FaultKind::ColumnCount, table_ + ": column counts",
                                table_ + ": column number " + std::to_string(c.number) +
                                    " is not below the table's column count of " +
                                    std::to_string(layout_.maxColumns));
            }
            if (!c.fixedLength && c.varIndex >= layout_.varColumnCount) {
                ctx_.faults.add(FaultKind::ColumnCount, table_ + ": column counts",
                                table_ + ": column number " + std::to_string(c.number) +
                                    " uses variable-length slot " + std::to_string(c.varIndex) +
                                    ", but the table has " +
                                    std::to_string(layout_.varColumnCount));
            }
        }
    }

    // A usage map of this table, its map pages claimed; nothing when it cannot be read.
    std::optional<MapReading> readMapOf(const std::string& what, std::uint32_t row) {
        try {
            MapReading map = readMap(ctx_.file, ctx_.fmt, RowPointer::from(row));
            for (const std::uint32_t p : map.mapPages) {
                ctx_.claims.claim(p, "the usage maps of " + table_, ctx_.faults);
            }
            if (map.pagesBeyondEnd != 0) {
                ctx_.faults.add(FaultKind::UsageMap, table_ + ": its usage map of " + what +
                                                         " marks " +
                                                         std::to_string(map.pagesBeyondEnd) +
                                                         " pages beyond the end of the file");
            }
            return map;
        } catch (const Error& e) {
            ctx_.faults.add(FaultKind::Unreadable,
                            table_ + ": its usage map of " + what + " cannot be read: " + e.what());
            return std::nullopt;
        }
    }

    void checkFreeSpaceMap() {
        if (layout_.freePagesRow == 0) return;
        const auto free = readMapOf("pages with free space", layout_.freePagesRow);
        if (!free) return;
        for (const std::uint32_t p : free->pages) {
            if (!ownedPages_.contains(p)) {
                ctx_.faults.add(FaultKind::UsageMap, table_ + ": free-space map",
                                table_ + ": its map of pages with free space lists page " +
                                    std::to_string(p) + ", which the table does not own");
            }
        }
    }

    void readLongValueMaps() {
        for (const auto& m : layout_.longValueMaps) {
            if (m.usedPagesRow == 0) continue;
            const std::string what = "column " + std::to_string(m.columnNumber) + "'s long values";
            const auto used = readMapOf(what, m.usedPagesRow);
            if (!used) continue;
            auto& pages =
                columnPages_.try_emplace(m.columnNumber, ctx_.file.pageCount()).first->second;
            for (const std::uint32_t p : used->pages) {
                pages.insert(p);
                longValuePage(ctx_, p, table_ + ", " + what, table_);
            }
            if (m.freePagesRow == 0) continue;
            const auto free = readMapOf(what + " with free space", m.freePagesRow);
            if (!free) continue;
            for (const std::uint32_t p : free->pages) {
                if (!pages.contains(p)) {
                    ctx_.faults.add(FaultKind::UsageMap, table_ + ": " + what,
                                    table_ + ": the map of " + what +
                                        " with free space lists page " + std::to_string(p) +
                                        ", which the column's map of pages does not");
                }
            }
        }
    }

    void checkDataPage(std::uint32_t pageNo) {
        ctx_.claims.claim(pageNo, "the data of " + table_, ctx_.faults);
        const auto page = ctx_.file.page(pageNo);
        const std::uint32_t owner = u32(*page, 4);
        if ((*page)[0] != store::kDataPageType || owner != definitionPage_) {
            ctx_.faults.add(FaultKind::PageOwnership, table_ + ": foreign pages",
                            "page " + std::to_string(pageNo) + " is listed in the usage map of " +
                                table_ + ", but it is a page of type " +
                                std::to_string((*page)[0]) + " owned by page " +
                                std::to_string(owner) + ", not a data page of the table (" +
                                std::to_string(definitionPage_) + ")");
            rows_.complete = false;
            return;
        }
        const auto slots =
            checkSlotDirectory(ctx_.fmt, *page, pageNo, "data of " + table_, ctx_.faults);
        for (std::size_t i = 0; i < slots.size(); ++i) {
            const SlotInfo& s = slots[i];
            if (!s.sound) {
                if (s.state == SlotState::Live || s.state == SlotState::Forwarded) {
                    rows_.complete = false;
                }
                continue;
            }
            const auto slot = static_cast<std::uint16_t>(i);
            const std::string where =
                table_ + ", page " + std::to_string(pageNo) + ", row " + std::to_string(i);
            const ByteSpan bytes(page->data() + s.start, s.end - s.start);
            if (s.state == SlotState::Live) {
                checkRow(bytes, where);
            } else if (s.state == SlotState::Forwarded) {
                file::PageRef holder;
                const auto body = followForward(bytes, where, holder);
                if (body) {
                    checkRow(*body, where);
                } else {
                    recordNullKeys(nullptr);
                }
            } else {
                continue;
            }
            // Pages come in ascending order and slots in order on each, as `live` requires.
            rows_.live.add(pageNo, slot);
        }
    }

    // The moved body a forwarded row points to, or nothing after reporting why it cannot be.
    std::optional<ByteSpan> followForward(ByteSpan stub, const std::string& where,
                                          file::PageRef& holder) {
        const auto fault = [&](const std::string& what) {
            ctx_.faults.add(FaultKind::Forwarding, table_ + ": forwarding", where + " " + what);
            return std::nullopt;
        };
        if (stub.size() < kForwardPointerSize)
            return fault("is forwarded but too short to say where");
        const std::uint8_t slot = stub[0];
        const std::uint32_t pageNo = u24(stub, 1);
        const std::string target =
            "row " + std::to_string(slot) + " of page " + std::to_string(pageNo);
        if (pageNo == 0 || pageNo >= ctx_.file.pageCount()) {
            return fault("is forwarded to page " + std::to_string(pageNo) + ", outside the file");
        }
        holder = ctx_.file.page(pageNo);
        if ((*holder)[0] != store::kDataPageType || u32(*holder, 4) != definitionPage_ ||
            !ownedPages_.contains(pageNo)) {
            return fault("is forwarded to page " + std::to_string(pageNo) +
                         ", which is not a data page in the table's usage map");
        }
        // The target page is checked, and its faults reported, as a page of the table.
        FaultList quiet;
        const auto slots = checkSlotDirectory(ctx_.fmt, *holder, pageNo, "", quiet);
        if (slot >= slots.size())
            return fault("is forwarded to " + target + ", which does not exist");
        const SlotInfo& s = slots[slot];
        if (!s.sound) return fault("is forwarded to " + target + ", whose bounds are impossible");
        switch (s.state) {
            case SlotState::MovedBody:
                break;
            case SlotState::Forwarded:
                return fault("is forwarded to " + target +
                             ", which is forwarded again: Access moves a row one hop only");
            case SlotState::Live:
                return fault("is forwarded to " + target +
                             ", which is a row of its own (a scan would read it twice)");
            case SlotState::Deleted:
                return fault("is forwarded to " + target + ", which is deleted");
        }
        if (!bodies_.insert(pageNo, slot)) {
            return fault("is forwarded to " + target + ", which another row is forwarded to too");
        }
        return ByteSpan(holder->data() + s.start, s.end - s.start);
    }

    void checkRow(ByteSpan row, const std::string& where) {
        // A row shorter than its column count is damage to report like any other, not a
        // reason to give up the whole check.
        if (row.size() < ctx_.fmt.rowCountSize) {
            ctx_.faults.add(FaultKind::RowLayout, table_ + ": undecodable rows",
                            where + " cannot be decoded: it has " + std::to_string(row.size()) +
                                " bytes, too few to hold its column count");
            recordNullKeys(nullptr);
            return;
        }
        const std::size_t columns = ctx_.fmt.rowCountSize == 1 ? u8(row, 0) : u16(row, 0);
        if (columns > layout_.maxColumns) {
            ctx_.faults.add(FaultKind::ColumnCount, table_ + ": row column counts",
                            where + " has " + std::to_string(columns) +
                                " columns, more than the table's limit of " +
                                std::to_string(layout_.maxColumns));
        }
        if (!decoder_) return;
        std::vector<std::optional<ByteSpan>> fields;
        try {
            decoder_->locate(row, fields);
        } catch (const Error& e) {
            ctx_.faults.add(FaultKind::RowLayout, table_ + ": undecodable rows",
                            where + " cannot be decoded: " + e.what());
            recordNullKeys(nullptr);
            return;
        }
        const std::size_t before = ctx_.faults.reported();
        for (std::size_t i = 0; i < def_->columns.size(); ++i) {
            const ColumnDef& c = def_->columns[i];
            if (!fields[i] || !isLongValueColumn(c)) continue;
            const auto pages = columnPages_.find(c.number);
            checkLongValue(ctx_, *fields[i], where + ", column " + quoted(c.name), table_,
                           pages == columnPages_.end() ? nullptr : &pages->second);
        }
        recordNullKeys(&fields);
        if (ctx_.faults.reported() != before) return;  // decoding would only fail again
        try {
            decoder_->decode(row, values_);
        } catch (const Error& e) {
            ctx_.faults.add(FaultKind::RowLayout, table_ + ": undecodable rows",
                            where + " cannot be decoded: " + e.what());
        }
    }

    bool isLongValueColumn(const ColumnDef& c) const {
        for (const auto& l : layout_.columns) {
            if (l.number == c.number) return holdsLongValues(l.type);
        }
        return false;
    }

    // For each index, whether this row's key is all Null. Yes/No columns are never Null: their
    // value is the null-mask bit itself.
    void recordNullKeys(const std::vector<std::optional<ByteSpan>>* fields) {
        for (std::size_t x = 0; x < rows_.nullKey.size(); ++x) {
            if (!needsNullKeys(layout_.indexes[x])) continue;
            bool allNull = true;
            for (const auto& ic : layout_.indexes[x].columns) {
                for (std::size_t i = 0; i < def_->columns.size(); ++i) {
                    const ColumnDef& c = def_->columns[i];
                    if (c.number != ic.columnNumber) continue;
                    if (c.type == ColumnType::YesNo || fields == nullptr || (*fields)[i]) {
                        allNull = false;
                    }
                }
            }
            rows_.nullKey[x].push_back(allNull);
        }
    }

    CheckContext& ctx_;
    const TableLayout& layout_;
    const TableDef* def_;
    const std::string table_;
    const std::uint32_t definitionPage_;
    std::optional<store::RowDecoder> decoder_;
    PageSet ownedPages_;
    std::map<std::uint16_t, PageSet> columnPages_;
    RowMarks bodies_;  // moved bodies that a forwarded row has reached
    std::vector<Value> values_;
    TableRows rows_;
};

}  // namespace

TableRows checkTableData(CheckContext& ctx, const std::string& name, const TableLayout& layout,
                         const TableDef* def) {
    return TableChecker(ctx, name, layout, def).run();
}

}  // namespace jet::check
