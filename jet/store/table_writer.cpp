#include "jet/store/table_writer.h"

#include <string>

#include "jet/store/data_page.h"
#include "jet/store/data_page_writer.h"
#include "jet/store/field_encoder.h"
#include "jet/store/table_definition.h"
#include "jet/store/usage_map.h"
#include "jet/store/usage_map_writer.h"

namespace jet::store {
namespace {
// A forwarding pointer: the body's slot, then its page in three bytes.
constexpr std::size_t kPointerSize = TableWriter::kMinRowSize;
}  // namespace

TableWriter::TableWriter(file::PageFile& file, const format::Format& fmt, const TableDef& table,
                         std::uint16_t codePage)
    : file_(file),
      fmt_(fmt),
      table_(table),
      decoder_(file, fmt, table, codePage),
      encoder_(fmt, table, codePage),
      longValues_(file, fmt, table) {
    // Every change of rows comes through here, those a relationship cascades to included.
    requireKnownColumnTypes(table, file.path(), "change the records of");
}

bool TableWriter::hasRoom(std::uint32_t pageNo, std::size_t size) {
    for (const PageWriter& known : pageWriters_) {
        // A page this writer changed: a data page of the table, whose layout it knows.
        if (known.page == pageNo && known.writer.knowsLayout()) return known.writer.roomFor(size);
    }
    const file::PageRef page = file_.page(pageNo);
    if ((*page)[0] != kDataPageType || DataPage(fmt_, *page).ownerPage() != table_.definitionPage) {
        return false;
    }
    return DataPageWriter(fmt_, *page).roomFor(size);
}

DataPageWriter& TableWriter::edit(std::uint32_t pageNo) {
    const std::span<std::uint8_t> bytes = file_.edit(pageNo);
    for (auto it = pageWriters_.begin(); it != pageWriters_.end(); ++it) {
        if (it->page != pageNo) continue;
        pageWriters_.splice(pageWriters_.end(), pageWriters_, it);
        it->writer.attach(bytes);
        return it->writer;
    }
    if (pageWriters_.size() == 2) pageWriters_.pop_front();
    return pageWriters_.emplace_back(PageWriter{pageNo, DataPageWriter(fmt_, bytes)}).writer;
}

bool TableWriter::updateInPlace(RowLocation where, const std::vector<Value>& values,
                                std::span<const std::size_t> changed) {
    for (const std::size_t i : changed) {
        const ColumnDef& c = table_.columns[i];
        if (!c.fixedLength || c.calculated || c.type == ColumnType::YesNo || isNull(values[i])) {
            return false;
        }
    }
    {
        // The row is looked at in the page as it stands; the page is edited only once a row of
        // it can be changed in place, after the look: bytes still held would be copied first.
        const file::PageRef page = file_.page(where.page);
        const file::Page& bytes = *page;
        if (bytes[0] != kDataPageType ||
            DataPage(fmt_, bytes).ownerPage() != table_.definitionPage) {
            return false;
        }
        const Slot s = DataPage(fmt_, bytes).slot(where.slot);
        if (s.deleted || s.forwarded) return false;
        // The row must hold every changed column, and not as Null.
        fields_.clear();
        for (const std::size_t i : changed) {
            const auto field = decoder_.fixedColumn(s.bytes, table_.columns[i]);
            if (!field) return false;
            fields_.emplace_back(static_cast<std::size_t>(field->data() - bytes.data()),
                                 field->size());
        }
    }
    const std::span<std::uint8_t> page = file_.edit(where.page);
    for (std::size_t k = 0; k < changed.size(); ++k) {
        encodeFixed(table_.columns[changed[k]], values[changed[k]],
                    page.subspan(fields_[k].first, fields_[k].second));
    }
    return true;
}

namespace {
// A calculated column's type is its result type: a Memo result is a long value as well.
bool isLongValue(const ColumnDef& c) {
    return c.type == ColumnType::Memo || c.type == ColumnType::OLE;
}
}  // namespace

TableWriter::Body TableWriter::findBody(RowLocation where) const {
    const file::PageRef holder = file_.page(where.page);
    const file::Page& page = *holder;
    if (page[0] != kDataPageType) corrupt("a row's page is not a data page");
    const DataPage dp(fmt_, page);
    if (dp.ownerPage() != table_.definitionPage) corrupt("a row's page belongs to another table");
    const Slot s = dp.slot(where.slot);
    if (s.deleted) throw Error(ErrorCode::Corrupt, "the row to change was deleted");
    if (!s.forwarded) return Body{where, false};
    const RowLocation body{u24(s.bytes, 1, "a forwarding pointer"),
                           u8(s.bytes, 0, "a forwarding pointer")};
    const file::PageRef bodyHolder = file_.page(body.page);
    const file::Page& bodyPage = *bodyHolder;
    if (bodyPage[0] != kDataPageType ||
        DataPage(fmt_, bodyPage).ownerPage() != table_.definitionPage) {
        corrupt("a forwarding pointer leads out of its table");
    }
    return Body{body, true};
}

std::uint32_t TableWriter::newDataPage() {
    const std::uint32_t page =
        appendPage(file_, fmt_,
                   {RowPointer::from(table_.usedPagesRow), RowPointer::from(table_.freePagesRow)});
    file_.writePage(page, DataPageWriter::emptyPage(fmt_, table_.definitionPage));
    if (lastMarkedWithRoom_ && (!*lastMarkedWithRoom_ || page > **lastMarkedWithRoom_)) {
        *lastMarkedWithRoom_ = page;
    }
    return page;
}

RowLocation TableWriter::place(ByteSpan bytes, std::uint16_t flags, std::uint32_t avoidPage) {
    // Like Access, fill the table's last page that has room before taking a new one. The map
    // of pages with room is read only when the page used last is full.
    const auto tryPage = [&](std::uint32_t pageNo) -> std::optional<RowLocation> {
        if (pageNo == avoidPage || !hasRoom(pageNo, bytes.size())) return std::nullopt;
        const auto slot = edit(pageNo).addRow(bytes, flags);
        if (!slot) corrupt("a row does not fit the room its page has");
        lastPageWithRoom_ = pageNo;
        return RowLocation{pageNo, *slot};
    };
    if (lastPageWithRoom_) {
        if (auto at = tryPage(*lastPageWithRoom_)) return *at;
    }
    if (!lastMarkedWithRoom_) {
        lastMarkedWithRoom_ = lastMarkedPage(file_, fmt_, RowPointer::from(table_.freePagesRow));
    }
    const std::optional<std::uint32_t> withSpace = *lastMarkedWithRoom_;
    if (withSpace && withSpace != lastPageWithRoom_) {
        if (auto at = tryPage(*withSpace)) return *at;
    }
    const std::uint32_t pageNo = newDataPage();
    const auto slot = edit(pageNo).addRow(bytes, flags);
    if (!slot) corrupt("a row does not fit an empty page");
    lastPageWithRoom_ = pageNo;
    return RowLocation{pageNo, *slot};
}

std::vector<std::uint8_t> TableWriter::encodeUpdate(ByteSpan oldBytes,
                                                    const std::vector<Value>& values,
                                                    const std::vector<bool>& changed,
                                                    bool padToOldSize) {
    std::vector<std::optional<ByteSpan>>& keep = keep_;
    decoder_.locate(oldBytes, keep);
    // Long values being replaced give their pages' rows back once the new row is built.
    std::vector<std::vector<std::uint8_t>> replacedLongValues;
    for (std::size_t i = 0; i < keep.size(); ++i) {
        if (!changed[i]) continue;
        if (keep[i] && isLongValue(table_.columns[i])) {
            replacedLongValues.emplace_back(keep[i]->begin(), keep[i]->end());
        }
        keep[i].reset();
    }
    std::vector<std::uint8_t> bytes =
        encoder_.encode(values, keep, padToOldSize ? oldBytes.size() : kPointerSize,
                        [this](const ColumnDef& c, const std::vector<std::uint8_t>& data) {
                            return longValues_.store(c, data);
                        });
    for (const auto& old : replacedLongValues) longValues_.release(old);
    return bytes;
}

std::vector<std::uint8_t> TableWriter::forwardingPointer(RowLocation body, std::size_t size) {
    std::vector<std::uint8_t> pointer(size, 0);
    pointer[0] = static_cast<std::uint8_t>(body.slot);
    pointer[1] = static_cast<std::uint8_t>(body.page & 0xFF);
    pointer[2] = static_cast<std::uint8_t>((body.page >> 8) & 0xFF);
    pointer[3] = static_cast<std::uint8_t>((body.page >> 16) & 0xFF);
    return pointer;
}

void TableWriter::updateRow(RowLocation where, const std::vector<Value>& values,
                            const std::vector<bool>& changed) {
    const Body body = findBody(where);
    std::vector<std::uint8_t> bytes;
    {
        // A copy of the row: long values stored may edit pages of the file, and a page still
        // held would be copied first.
        const file::PageRef holder = file_.page(body.at.page);
        const ByteSpan stored = rowAt(fmt_, *holder, static_cast<std::uint8_t>(body.at.slot));
        const std::vector<std::uint8_t> oldRow(stored.begin(), stored.end());
        bytes = encodeUpdate(oldRow, values, changed, true);
    }
    const std::uint16_t bodyFlags = body.forwarded ? kSlotDeleted : 0;

    if (edit(body.at.page).replaceRow(body.at.slot, bytes, bodyFlags)) return;
    // No room on its page: the row moves, and its own slot points at the new place. The moved
    // body is marked deleted, so that scans meet the row only at its own slot.
    const RowLocation moved = place(bytes, kSlotDeleted, body.at.page);
    DataPageWriter& header = edit(where.page);
    const ByteSpan old = rowAt(fmt_, header.bytes(), static_cast<std::uint8_t>(where.slot));
    if (old.size() < kPointerSize) {
        throw Error(ErrorCode::Unsupported, "A row of table '" + table_.name +
                                                "' is too short to hold a forwarding pointer.");
    }
    if (!header.replaceRow(where.slot, forwardingPointer(moved, old.size()), kSlotForwarded)) {
        corrupt("a forwarding pointer does not fit where its row stood");
    }
    if (body.forwarded) {
        // The body moved on again: its old copy gives its bytes back to its page.
        edit(body.at.page).replaceRow(body.at.slot, {}, kSlotDeleted | kSlotForwarded);
    }
}

void TableWriter::updateRows(std::uint32_t pageNo, std::span<const RowUpdate> rows,
                             std::span<const EncodedRow> encoded) {
    struct Laid {
        std::uint16_t slot;
        std::vector<std::uint8_t> own;  // the bytes when encoded here
        ByteSpan bytes;
    };
    std::vector<Laid> laid;
    laid.reserve(rows.size() + encoded.size());
    std::vector<const RowUpdate*> forwarded;
    {
        // The rows are encoded from the page as it stands, held meanwhile: the long values
        // stored go to pages of their own, so nothing edits this page until it is laid out.
        const file::PageRef holder = file_.page(pageNo);
        const file::Page& page = *holder;
        if (page[0] != kDataPageType) corrupt("a row's page is not a data page");
        const DataPage dp(fmt_, page);
        if (dp.ownerPage() != table_.definitionPage) {
            corrupt("a row's page belongs to another table");
        }
        const EncodedRow* next = encoded.data();
        const EncodedRow* const end = next + encoded.size();
        // Both lists in ascending slots, merged.
        const auto takeEncodedBefore = [&](std::uint32_t slot) {
            for (; next != end && next->slot < slot; ++next) {
                const Slot s = dp.slot(next->slot);
                if (s.deleted || s.forwarded) corrupt("a row changed on its bytes has moved");
                laid.push_back({next->slot, {}, next->bytes});
            }
        };
        for (const RowUpdate& r : rows) {
            takeEncodedBefore(r.slot);
            const Slot s = dp.slot(r.slot);
            if (s.deleted) throw Error(ErrorCode::Corrupt, "the row to change was deleted");
            if (s.forwarded) {
                forwarded.push_back(&r);  // its body lives on another page
                continue;
            }
            Laid& row = laid.emplace_back(
                Laid{r.slot, encodeUpdate(s.bytes, r.values, r.changed, false), {}});
            row.bytes = row.own;
        }
        takeEncodedBefore(kMaxRowsPerPage + 1u);
    }
    for (const RowUpdate* r : forwarded) updateRow({pageNo, r->slot}, r->values, r->changed);

    std::vector<DataPageWriter::Replacement> changes;
    changes.reserve(laid.size());
    for (const Laid& row : laid) changes.push_back({row.slot, row.bytes, 0});
    // Rows from `staying` on have moved; edit() is asked again each time, as placing a row may
    // have edited other pages since.
    std::size_t staying = laid.size();
    while (!edit(pageNo).replaceRows(changes)) {
        if (staying == 0) corrupt("the rows of a page do not fit it even with all changed moved");
        Laid& row = laid[--staying];
        const RowLocation moved = place(row.bytes, kSlotDeleted, pageNo);
        row.own = forwardingPointer(moved, kMinRowSize);
        row.bytes = row.own;
        changes[staying] = {row.slot, row.bytes, kSlotForwarded};
    }
}

TableWriter::Growth TableWriter::growth(RowLocation where, const std::vector<Value>& values,
                                        const std::vector<bool>& changed) const {
    const Body body = findBody(where);
    const file::PageRef holder = file_.page(body.at.page);
    const ByteSpan stored = rowAt(fmt_, *holder, static_cast<std::uint8_t>(body.at.slot));
    std::vector<std::optional<ByteSpan>> keep;
    decoder_.locate(stored, keep);
    for (std::size_t i = 0; i < keep.size(); ++i) {
        if (changed[i]) keep[i].reset();
    }
    const std::vector<std::uint8_t> bytes = encoder_.encode(values, keep, 0, longValuePlaceholder);
    return Growth{
        static_cast<std::ptrdiff_t>(bytes.size()) - static_cast<std::ptrdiff_t>(stored.size()),
        DataPageWriter(fmt_, *holder).freeSpace(), stored.size()};
}

RowLocation TableWriter::insertRow(const std::vector<Value>& values) {
    const std::vector<std::optional<ByteSpan>> keep(table_.columns.size());
    // Room for a forwarding pointer, should the row have to move later.
    const std::vector<std::uint8_t> bytes =
        encoder_.encode(values, keep, kPointerSize,
                        [this](const ColumnDef& c, const std::vector<std::uint8_t>& data) {
                            return longValues_.store(c, data);
                        });
    return place(bytes, 0, 0);
}

void TableWriter::deleteRow(RowLocation where) {
    const Body body = findBody(where);
    {
        // The bytes stay as they are while long values are released, whatever they change.
        const file::PageRef bodyPage = file_.page(body.at.page);
        std::vector<std::optional<ByteSpan>> fields;
        decoder_.locate(rowAt(fmt_, *bodyPage, static_cast<std::uint8_t>(body.at.slot)), fields);
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (fields[i] && isLongValue(table_.columns[i])) longValues_.release(*fields[i]);
        }
    }
    for (const RowLocation at : {where, body.at}) {
        DataPageWriter& w = edit(at.page);
        const ByteSpan bytes = rowAt(fmt_, w.bytes(), static_cast<std::uint8_t>(at.slot));
        const std::vector<std::uint8_t> same(bytes.begin(), bytes.end());
        w.replaceRow(at.slot, same, kSlotDeleted | kSlotForwarded);
        if (!body.forwarded) break;
    }
}

}  // namespace jet::store

namespace jet::store {

void TableWriter::adjustRowCount(std::int64_t delta) {
    if (delta == 0) return;
    file::Page tdef = *file_.page(table_.definitionPage);
    const std::int64_t count = std::int64_t{u32(tdef, fmt_.tdefRowCount)} + delta;
    if (count < 0) corrupt("the table's row count would fall below zero");
    put32(tdef, fmt_.tdefRowCount, static_cast<std::uint32_t>(count));
    file_.writePage(table_.definitionPage, tdef);
}

void TableWriter::setLastAutoNumber(std::uint32_t value) {
    file::Page tdef = *file_.page(table_.definitionPage);
    put32(tdef, fmt_.tdefAutoNumber, value);
    file_.writePage(table_.definitionPage, tdef);
}

}  // namespace jet::store
