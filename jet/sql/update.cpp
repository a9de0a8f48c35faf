#include "jet/sql/update.h"

#include <algorithm>
#include <optional>

#include "jet/base/names.h"
#include "jet/ddl/index_rebuild.h"
#include "jet/ddl/table_rewrite.h"
#include "jet/index/table_indexes.h"
#include "jet/sql/calculated_columns.h"
#include "jet/sql/evaluator.h"
#include "jet/sql/fixed_field_patch.h"
#include "jet/sql/relationships.h"
#include "jet/sql/validation_rules.h"
#include "jet/sql/write_checks.h"
#include "jet/store/row_codec.h"
#include "jet/store/table_definition.h"
#include "jet/store/table_writer.h"
#include "jet/store/write_context.h"

namespace jet::sql {
namespace {

const ColumnDef& resolve(const TableDef& table, const ast::ColumnRef& ref) {
    if (ref.table && !namesEqual(ref.table->text, table.name)) {
        throw Error(ErrorCode::FieldNotFound, "No field named '" + ref.table->text + "." +
                                                  ref.column.text + "' in table '" + table.name +
                                                  "'.");
    }
    const ColumnDef* c = table.findColumn(ref.column.text);
    if (c == nullptr) {
        throw Error(ErrorCode::FieldNotFound,
                    "No field named '" + ref.column.text + "' in table '" + table.name + "'.");
    }
    return *c;
}

// The columns an UPDATE must read of each row: those its assignments and WHERE read, those it
// assigns (a value that stays the same is not written), the columns of every index whose key
// holds an assigned column (its entries are rebuilt from the whole key) and the Yes/No columns (a
// rewritten row takes their values from the row read, as they have no bytes to keep). Every column
// when calculated columns or relationships are involved: those read whole rows. The others keep
// their stored bytes without being read.
std::vector<bool> columnsToRead(const TableDef& table, const ast::Update& update,
                                const std::vector<bool>& assigned, bool wholeRows) {
    if (wholeRows) return std::vector<bool>(table.columns.size(), true);
    std::vector<bool> mask = assigned;
    for (const auto& a : update.assignments) markColumnsRead(*a.value, table, mask);
    if (update.where) markColumnsRead(*update.where, table, mask);
    for (const auto& c : table.columns) {
        if (c.type == ColumnType::YesNo) mask[c.order] = true;
    }
    for (const auto& index : table.indexes) {
        std::vector<std::size_t> key;
        bool touched = false;
        for (const auto& k : index.columns) {
            for (const auto& c : table.columns) {
                if (c.number != k.columnNumber) continue;
                key.push_back(c.order);
                touched = touched || assigned[c.order];
            }
        }
        if (!touched) continue;
        for (const std::size_t i : key) mask[i] = true;
    }
    return mask;
}

bool inAnyIndex(const TableDef& table, const ColumnDef& column) {
    std::vector<bool> only(table.columns.size(), false);
    only[column.order] = true;
    return std::any_of(table.indexes.begin(), table.indexes.end(),
                       [&](const IndexDef& ix) { return ddl::holdsAnyOf(table, ix, only); });
}

// The rows a table holds from which an UPDATE of all of them builds the indexes it changes again.
constexpr std::uint32_t kRebuildRows = 2048;

// Rows an UPDATE looks at first to judge whether it would move most of the table's rows.
constexpr std::size_t kSampleRows = 512;

// Whether an UPDATE would move more than a quarter of the table's rows (each leaving a forwarding
// pointer behind), judged on the first rows of the table. Each page is laid out once with its
// changed rows (TableWriter::updateRows): the rows that grow use up its free bytes, and once they
// are used up a row moves, which gives its page back all but a forwarding pointer's bytes. Rows
// changed where they stand never move. `newValues(row)` says whether the row changes, leaving
// its values in `values` and the columns changed in `changedMask()`.
template <typename Change, typename Mask>
bool movesMostRows(store::WriteContext& ctx, const TableDef& table, const std::vector<bool>& reads,
                   const store::TableWriter& writer, Change newValues, Mask changedMask,
                   const std::vector<Value>& values) {
    constexpr std::ptrdiff_t kPointer = 4;
    auto cursor = ctx.scan(table);
    cursor.decodeOnly(reads);
    std::size_t seen = 0, moved = 0;
    std::uint32_t page = 0;
    std::ptrdiff_t room = 0;
    while (seen < kSampleRows && cursor.next()) {
        ++seen;
        if (!newValues(cursor.row())) continue;
        const auto growth = writer.growth(cursor.location(), values, changedMask());
        if (growth.bytes <= 0) continue;
        if (cursor.location().page != page) {
            page = cursor.location().page;
            room = static_cast<std::ptrdiff_t>(growth.pageFree);
        }
        room -= growth.bytes;
        if (room < 0) {
            ++moved;
            room += static_cast<std::ptrdiff_t>(growth.size) + growth.bytes - kPointer;
        }
    }
    return seen > 0 && moved * 4 > seen;
}

// Writes the table afresh (ddl::TableRewrite), each row as `after(row)` gives it.
template <typename After>
void rewriteTable(store::WriteContext& ctx, const TableDef& table, After after) {
    ddl::TableRewrite rewrite(ctx.file, ctx.format, table, ctx.codePage);
    auto cursor = ctx.scan(table);
    while (cursor.next()) rewrite.add(after(cursor.row()));
    rewrite.finish(false);
}

}  // namespace

std::uint64_t runUpdate(Database& db, const ast::Update& update, std::string_view statement) {
    const auto table = db.table(update.table.text);
    requireUserTable(db, *table, "update");
    store::requireKnownColumnTypes(*table, db.path(), "update");
    struct Target {
        std::size_t index;
        const ColumnDef* column;
        BoundExpression value;
        bool required;
    };
    std::vector<Target> targets;
    for (const auto& a : update.assignments) {
        const ColumnDef& column = resolve(*table, a.column);
        requireUpdatable(*table, column);
        targets.push_back({column.order, &column, sql::bind(*a.value, *table, statement),
                           isRequired(db, *table, column)});
    }
    std::optional<BoundExpression> where;
    if (update.where) where = sql::bind(*update.where, *table, statement);
    store::ChangedColumns assigned(table->columns.size());
    for (const auto& t : targets) assigned.mark(t.index);
    const store::PropertyMaps properties = propertiesOf(db, *table);
    const CalculatedColumns calculated(*table, properties, db.version(), assigned.list());
    const ValidationRules rules(db, *table, properties);
    RelationshipGuard relationships(db, *table, RelationshipGuard::Statement::Update,
                                    assigned.mask());
    std::vector<bool> reads = columnsToRead(*table, update, assigned.mask(),
                                            !calculated.empty() || relationships.active());
    rules.addColumnsRead(reads);

    // The new values of a row, as every assignment sees the row as it was before the
    // statement; false when the row does not match or nothing in it changes.
    std::vector<Value> values;
    store::ChangedColumns changed(table->columns.size());
    const auto change = [&](const std::vector<Value>& row) {
        values = row;
        changed.clear();
        for (const auto& t : targets) {
            Value v = convertForColumn(t.value.evaluate(row), *t.column, db.version());
            if (t.required && isNull(v)) {
                throw Error(ErrorCode::NotUpdatable, "You must enter a value in the '" +
                                                         table->name + "." + t.column->name +
                                                         "' field.");
            }
            if (v != row[t.index]) {
                values[t.index] = std::move(v);
                changed.mark(t.index);
            }
        }
        return !changed.empty();
    };
    const auto matches = [&](const std::vector<Value>& row) {
        return !where || isTrue(where->evaluate(row));
    };

    // A statement that changes the keys of a whole table builds the indexes holding them again
    // once it is done, rather than moving each row's entry.
    const bool rebuildIndexes =
        !where && !relationships.active() && table->rowCount >= kRebuildRows &&
        index::TableIndexes::unsupportedChange(*table, assigned.mask()).empty();
    // UPDATE [T] SET [F] = [F] + 10 and the like, where nothing but the field's bytes change (an
    // index holding the field is built again afterwards).
    std::optional<FixedFieldPatch> patch;
    if (!where && targets.size() == 1 && calculated.empty() && !relationships.active() &&
        !rules.checksChangeOf(targets[0].index) &&
        (rebuildIndexes || !inAnyIndex(*table, *targets[0].column))) {
        std::vector<bool> expressionReads(table->columns.size(), false);
        markColumnsRead(*update.assignments[0].value, *table, expressionReads);
        patch = FixedFieldPatch::plan(*table, *targets[0].column, targets[0].value,
                                      *update.assignments[0].value, expressionReads, db.version());
    }

    std::uint64_t matched = 0;
    db.write([&](store::WriteContext& ctx) {
        store::TableWriter writer(ctx.file, ctx.format, *table, ctx.codePage);
        // A statement that would move most rows writes the table afresh instead; a relationship
        // could cascade into the very table being rewritten, so those change rows in place.
        if (!relationships.active() && ddl::TableRewrite::obstacle(*table).empty() &&
            movesMostRows(
                ctx, *table, reads, writer,
                [&](const std::vector<Value>& row) { return matches(row) && change(row); },
                [&] { return changed.mask(); }, values)) {
            rewriteTable(ctx, *table,
                         [&](const std::vector<Value>& row) -> const std::vector<Value>& {
                             if (!matches(row)) return row;
                             ++matched;
                             if (!change(row)) return row;
                             calculated.recompute(values, changed);
                             rules.check(values, changed);
                             return values;
                         });
            return;
        }
        std::optional<ddl::IndexRebuild> rebuild;
        if (rebuildIndexes) {
            rebuild.emplace(ctx.file, ctx.format, *table, assigned.mask(), ctx.codePage);
            if (rebuild->empty()) {
                rebuild.reset();
            } else {
                rebuild->start();
            }
        }
        index::TableIndexes indexes(ctx.file, ctx.format, rebuild ? rebuild->others() : *table);
        // The rows of a page that cannot change where they stand are laid out together once the
        // scan has left their page, so that the page's room goes to as many of them as it can
        // take. A relationship may cascade into this very table: those change row by row.
        const bool byPage = !relationships.active();
        std::vector<store::TableWriter::RowUpdate> pending;
        // Rows of the pending page whose new bytes the patch worked out: their slots, and where
        // their bytes lie in `rewrittenBytes`.
        struct Rewritten {
            std::uint16_t slot;
            std::size_t start, size;
        };
        std::vector<Rewritten> rewritten;
        std::vector<std::uint8_t> rewrittenBytes;
        std::vector<store::TableWriter::EncodedRow> encoded;
        std::uint32_t pendingPage = 0;
        const auto writePending = [&] {
            if (pending.empty() && rewritten.empty()) return;
            encoded.clear();
            for (const Rewritten& r : rewritten) {
                encoded.push_back({r.slot, ByteSpan(rewrittenBytes).subspan(r.start, r.size)});
            }
            writer.updateRows(pendingPage, pending, encoded);
            pending.clear();
            rewritten.clear();
            rewrittenBytes.clear();
        };
        const auto pendOn = [&](std::uint32_t page) {
            if (page != pendingPage) writePending();
            pendingPage = page;
        };
        // `inPlace`: whether the row may be one that changes where it stands.
        const auto updateRow = [&](RowLocation at, const std::vector<Value>& row, bool inPlace) {
            if (!matches(row)) return;
            ++matched;
            if (!change(row)) return;
            calculated.recompute(values, changed);
            rules.check(values, changed);
            bool written = inPlace && writer.updateInPlace(at, values, changed.list());
            if (!written && !byPage) {
                writer.updateRow(at, values, changed.mask());
                written = true;
            }
            indexes.updateRow(at, row, values, changed.mask());
            relationships.rowUpdated(row, values);
            if (written) return;
            pendOn(at.page);
            // The values go with it: change() gives `values` afresh for the next row.
            pending.push_back(
                {static_cast<std::uint16_t>(at.slot), std::move(values), changed.mask()});
        };
        auto cursor = ctx.scan(*table);
        if (patch) {
            // Each row's field changed on its stored bytes; the rows the patch cannot change where
            // they stand go the general way, decoded here.
            cursor.decodeNone();
            const store::RowDecoder decoder(ctx.file, ctx.format, *table, ctx.codePage);
            const store::RowEncoder encoder(ctx.format, *table, ctx.codePage);
            std::vector<Value> row;
            std::uint64_t patched = 0;
            // Until a page is laid out anew, only patches write the table's pages: each row
            // stands where the scan found it.
            bool onlyPatched = true;
            while (cursor.next()) {
                const RowLocation at = cursor.location();
                if (at.page != pendingPage) {
                    // The scan has left the page: its changed rows are laid out, which may
                    // move rows to other pages.
                    onlyPatched = onlyPatched && rewritten.empty();
                    pendOn(at.page);
                }
                if (!cursor.forwarded()) {
                    const std::size_t start = rewrittenBytes.size();
                    const auto outcome = patch->apply(
                        decoder, encoder, ctx.format, cursor.rowBytes(), at.slot,
                        onlyPatched ? std::optional(cursor.rowOffset()) : std::nullopt,
                        [&] { return ctx.file.edit(at.page); }, rewrittenBytes);
                    if (outcome == FixedFieldPatch::Outcome::Rewritten) {
                        rewritten.push_back({static_cast<std::uint16_t>(at.slot), start,
                                             rewrittenBytes.size() - start});
                    }
                    if (outcome != FixedFieldPatch::Outcome::Elsewhere) {
                        ++matched;
                        if (outcome != FixedFieldPatch::Outcome::Unchanged) ++patched;
                        continue;
                    }
                }
                onlyPatched = false;
                decoder.decode(cursor.rowBytes(), row, &reads);
                // What the patch leaves (Null before or after, a row without the field, a
                // forwarded row) is nothing updateInPlace() could change either.
                updateRow(at, row, false);
            }
            FixedFieldPatch::countPatched(patched);
        } else {
            cursor.decodeOnly(reads);
            while (cursor.next()) updateRow(cursor.location(), cursor.row(), true);
        }
        writePending();
        indexes.finish();
        if (rebuild) rebuild->finish();
        relationships.finish(ctx);
    });
    return matched;
}

std::uint64_t runDelete(Database& db, const ast::Delete& del, std::string_view statement) {
    const auto table = db.table(del.table.text);
    requireUserTable(db, *table, "delete");
    store::requireKnownColumnTypes(*table, db.path(), "delete from");
    requireDeletable(*table);
    std::optional<BoundExpression> where;
    if (del.where) where = sql::bind(*del.where, *table, statement);
    RelationshipGuard relationships(db, *table, RelationshipGuard::Statement::Delete, {});
    std::uint64_t matched = 0;
    db.write([&](store::WriteContext& ctx) {
        store::TableWriter writer(ctx.file, ctx.format, *table, ctx.codePage);
        std::vector<std::uint32_t> deleted;  // page << 8 | row, for the indexes
        auto cursor = ctx.scan(*table);
        while (cursor.next()) {
            if (where && !isTrue(where->evaluate(cursor.row()))) continue;
            writer.deleteRow(cursor.location());
            relationships.rowDeleted(cursor.row());
            deleted.push_back(cursor.location().page << 8 | cursor.location().slot);
            ++matched;
        }
        writer.adjustRowCount(-static_cast<std::int64_t>(matched));
        if (!table->indexes.empty()) {
            index::TableIndexes(ctx.file, ctx.format, *table).removeRows(std::move(deleted));
        }
        relationships.finish(ctx);
    });
    return matched;
}

}  // namespace jet::sql
