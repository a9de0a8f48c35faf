#include "jet/index/table_indexes.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "jet/base/bytes.h"
#include "jet/base/error.h"
#include "jet/base/utf8.h"
#include "jet/format/sort_orders.h"
#include "jet/index/index_builder.h"
#include "jet/index/index_page_writer.h"

namespace jet::index {
namespace {

// Keys of a unique index remembered for the check at the end of the statement; past this many
// the whole index is walked instead, so memory stays bounded on large updates.
constexpr std::size_t kTrackedKeys = 10000;

const ColumnDef* columnNumbered(const TableDef& table, std::uint16_t number) {
    for (const auto& c : table.columns) {
        if (c.number == number) return &c;
    }
    return nullptr;
}

// "U+00E9", for messages.
std::string codePointName(char32_t c) {
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(c));
    return name;
}

// Why this engine cannot build keys over the column, for messages.
std::string unkeyableKind(const ColumnDef* c) {
    if (c == nullptr) return "missing fields";
    if (c->calculated) return "calculated fields";
    if (c->type == ColumnType::Text && c->jet3) {
        return "Text fields in " + describeSortOrder(c->sortOrder) + " and code page " +
               std::to_string(c->codePage);
    }
    if (c->type == ColumnType::Text) {
        return "Text fields in " + describeSortOrder(c->sortOrder) + ", version " +
               std::to_string(c->sortOrderVersion);
    }
    return std::string(columnTypeName(c->type)) + " fields";
}

// The logical indexes of each index data, the primary key's name first.
std::map<std::uint32_t, std::vector<const IndexDef*>> byData(const TableDef& table) {
    std::map<std::uint32_t, std::vector<const IndexDef*>> data;
    for (const auto& ix : table.indexes) {
        auto& list = data[ix.dataNumber];
        if (ix.primaryKey()) {
            list.insert(list.begin(), &ix);
        } else {
            list.push_back(&ix);
        }
    }
    return data;
}

}  // namespace

std::string TableIndexes::unsupportedChange(const TableDef& table,
                                            const std::vector<bool>& changed) {
    for (const auto& [number, logical] : byData(table)) {
        const IndexDef& ix = *logical.front();
        const auto touches = std::any_of(ix.columns.begin(), ix.columns.end(), [&](auto& ic) {
            const ColumnDef* c = columnNumbered(table, ic.columnNumber);
            return c != nullptr && changed[c->order];
        });
        if (!touches) continue;
        for (const auto& ic : ix.columns) {
            const ColumnDef* c = columnNumbered(table, ic.columnNumber);
            if (c == nullptr || !keyColumnFor(*c, ic.ascending)) {
                return "it is part of index '" + ix.name + "', and changing index keys that hold " +
                       unkeyableKind(c) + " is not supported yet";
            }
        }
    }
    return {};
}

TableIndexes::TableIndexes(file::PageFile& file, const format::Format& fmt, const TableDef& table,
                           IndexFill fill)
    // A key longer than a quarter of a page's entry room leaves too few entries to a page for
    // splits to be sure to fit (a Text field's 255 letters take 513 bytes in General order).
    : file_(file), fmt_(fmt), table_(table), maxKeyBytes_(entryAreaCapacity(fmt) / 4) {
    if (fill == IndexFill::Rebuild) gathered_ = std::make_unique<EntrySorter>(file.path());
    if (table.indexes.size() > 256) {
        corrupt("Table '" + table.name + "' has more indexes than any Access table can");
    }
    for (const auto& [number, logical] : byData(table)) {
        const IndexDef& ix = *logical.front();
        const std::string label = "index '" + ix.name + "' of table '" + table.name + "'";
        Maintained& m = indexes_.emplace_back(
            file, fmt, IndexStorage{ix.firstPage, ix.usedPagesRow, table.definitionPage, label});
        m.tree.keepLeaves();
        m.label = label;
        m.name = ix.name;
        for (const IndexDef* l : logical) {
            m.unique = m.unique || l->unique || l->primaryKey();
            m.requiresValues = m.requiresValues || l->required || l->primaryKey();
        }
        m.ignoreNulls = ix.ignoreNulls;
        for (const auto& ic : ix.columns) {
            m.columnNumbers.push_back(ic.columnNumber);
            const ColumnDef* c = columnNumbered(table, ic.columnNumber);
            if (c == nullptr) {
                corrupt("The " + m.label + " names column number " +
                        std::to_string(ic.columnNumber) + ", which the table lacks");
            }
            const auto column = keyColumnFor(*c, ic.ascending);
            if (!column) m.encodable = false;
            m.columns.emplace_back(column.value_or(KeyColumn{c->type, ic.ascending}), c->order);
        }
        if (m.encodable) {
            for (const auto& [column, position] : m.columns) {
                appendKeyColumn(m.allNullKey, column, Value{});
            }
        }
    }
}

TableIndexes::Key TableIndexes::keyOf(const Maintained& index,
                                      const std::vector<Value>& values) const {
    Key key;
    key.allNull = true;
    // Enough for most keys at once: a key grown byte by byte is copied again and again.
    key.bytes.reserve(16 * index.columns.size());
    for (const auto& [column, position] : index.columns) {
        const Value& v = values[position];
        if (isNull(v)) {
            key.anyNull = true;
        } else {
            key.allNull = false;
        }
        const auto text = std::get_if<std::string>(&v);
        if (appendKeyColumn(key.bytes, column, v)) continue;
        if (text != nullptr && column.textOrder && !isUtf8(*text)) {
            throw Error(ErrorCode::TypeMismatch,
                        "The " + index.label +
                            " cannot take a text that holds bytes which are not UTF-8 "
                            "characters; nothing was changed.");
        }
        if (text != nullptr && column.textOrder) {
            if (const auto c = firstCharacterNotKeyed(*text, *column.textOrder)) {
                throw Error(ErrorCode::Unsupported,
                            "The " + index.label + " cannot take the text '" + *text +
                                "': its character " + codePointName(*c) +
                                " has no byte in code page 1252, in which Access 97 keeps and "
                                "keys text; nothing was changed.");
            }
            throw Error(ErrorCode::Unsupported,
                        "The " + index.label + " cannot take the text '" + *text +
                            "': its index entry would be longer than the " +
                            std::to_string(maxTextEntryBytes(*column.textOrder)) +
                            (*column.textOrder == TextOrder::General97
                                 ? " bytes of the longest Access 97 entry known"
                                 : " bytes Access keeps whole") +
                            "; nothing was changed.");
        }
        throw Error(ErrorCode::Unsupported,
                    "Cannot build the key of the " + index.label + " for a value of type " +
                        columnTypeName(column.type) + "; nothing was changed.");
    }
    return key;
}

std::optional<IndexEntry> TableIndexes::entryFor(Maintained& index, RowLocation row,
                                                 const std::vector<Value>& values) {
    Key key = keyOf(index, values);
    if (key.anyNull && index.requiresValues) {
        throw Error(ErrorCode::NullKey, "Index or primary key '" + index.name + "' of table '" +
                                            table_.name + "' cannot contain a Null value.");
    }
    if (key.allNull && index.ignoreNulls) return std::nullopt;
    if (key.bytes.size() > maxKeyBytes_) {
        throw Error(ErrorCode::Unsupported,
                    "The key of a row in the " + index.label + " would take " +
                        std::to_string(key.bytes.size()) + " bytes, more than the " +
                        std::to_string(maxKeyBytes_) +
                        " this engine puts in one index entry; nothing was changed.");
    }
    if (index.unique && !key.allNull && !index.tooManyToTrack && !gathered_) {
        if (index.insertedKeys.size() < kTrackedKeys) {
            index.insertedKeys.push_back(key.bytes);
        } else {
            index.tooManyToTrack = true;
            index.insertedKeys.clear();
        }
    }
    return IndexEntry{.key = std::move(key.bytes),
                      .dataPage = row.page,
                      .dataRow = static_cast<std::uint8_t>(row.slot)};
}

void TableIndexes::applyBatch(Maintained& index) {
    // An entry names its row, so no entry both leaves and arrives: the order between them does
    // not change the tree's final entries. Uniqueness is checked by finish().
    const auto byKey = [](const IndexEntry& a, const IndexEntry& b) {
        return compareEntries(a, b) < 0;
    };
    std::sort(index.leaving.begin(), index.leaving.end(), byKey);
    for (const auto& e : index.leaving) index.tree.remove(e);
    std::sort(index.arriving.begin(), index.arriving.end(), byKey);
    for (const auto& e : index.arriving) index.tree.insert(e);
    index.leaving.clear();
    index.arriving.clear();
}

void TableIndexes::updateRow(RowLocation row, const std::vector<Value>& before,
                             const std::vector<Value>& after, const std::vector<bool>& changed) {
    if (gathered_) throw std::logic_error("TableIndexes::updateRow() while rebuilding");
    constexpr std::size_t kBatchEntries = 32768;
    for (auto& index : indexes_) {
        const bool touched = std::any_of(index.columns.begin(), index.columns.end(),
                                         [&](const auto& c) { return changed[c.second]; });
        if (!touched) continue;
        if (!index.encodable) {
            throw Error(ErrorCode::Unsupported, "The " + index.label +
                                                    " cannot follow the change: its keys are "
                                                    "not supported yet; nothing was changed.");
        }
        const Key old = keyOf(index, before);
        const Key now = keyOf(index, after);
        if (old.bytes == now.bytes) continue;
        if (auto entry = entryFor(index, row, after)) index.arriving.push_back(std::move(*entry));
        if (!(old.allNull && index.ignoreNulls)) {
            index.leaving.push_back(IndexEntry{.key = old.bytes,
                                               .dataPage = row.page,
                                               .dataRow = static_cast<std::uint8_t>(row.slot)});
        }
        if (index.leaving.size() + index.arriving.size() >= kBatchEntries) applyBatch(index);
    }
}

void TableIndexes::insertRow(RowLocation row, const std::vector<Value>& values) {
    for (std::size_t i = 0; i < indexes_.size(); ++i) {
        Maintained& index = indexes_[i];
        if (!index.encodable) {
            throw Error(ErrorCode::Unsupported, "The " + index.label +
                                                    " cannot take the new row: its keys are "
                                                    "not supported yet; nothing was changed.");
        }
        auto entry = entryFor(index, row, values);
        if (!entry) continue;
        if (gathered_) {
            gathered_->add(static_cast<std::uint8_t>(i), entry->key, entry->dataPage,
                           entry->dataRow);
        } else {
            index.tree.insert(*entry);
        }
    }
}

void TableIndexes::removeRows(std::vector<std::uint32_t> rows) {
    if (gathered_) throw std::logic_error("TableIndexes::removeRows() while rebuilding");
    std::sort(rows.begin(), rows.end());
    for (auto& index : indexes_) {
        index.tree.removeRows(rows);
        index.tree.flush();
    }
}

void TableIndexes::duplicateIn(const Maintained& index) const {
    throw Error(ErrorCode::DuplicateKey,
                "The changes were not made because they would create duplicate values in the "
                "index '" +
                    index.name + "' of table '" + table_.name + "'.");
}

void TableIndexes::build() {
    // The entries come out index by index, each index's in the order its leaves hold them.
    SortedEntry e;
    bool more = gathered_->next(e);
    std::vector<std::uint8_t> previous;
    for (std::size_t i = 0; i < indexes_.size(); ++i) {
        const Maintained& index = indexes_[i];
        IndexBuilder builder(file_, fmt_, index.tree.storage());
        bool first = true;
        for (; more && e.index == i; more = gathered_->next(e)) {
            const bool repeated =
                !first && std::equal(e.key.begin(), e.key.end(), previous.begin(), previous.end());
            if (repeated && index.unique &&
                !std::equal(e.key.begin(), e.key.end(), index.allNullKey.begin(),
                            index.allNullKey.end())) {
                duplicateIn(index);
            }
            previous.assign(e.key.begin(), e.key.end());
            first = false;
            builder.add(IndexEntry{.key = previous, .dataPage = e.dataPage, .dataRow = e.dataRow});
        }
        builder.finish();
    }
    if (more) throw std::logic_error("TableIndexes::build(): an entry of no index");
    gathered_.reset();
}

void TableIndexes::finish() {
    if (gathered_) {
        build();
        return;
    }
    for (auto& index : indexes_) {
        applyBatch(index);
        index.tree.flush();
        if (!index.unique) continue;
        bool repeated = false;
        if (index.tooManyToTrack) {
            repeated = index.tree.findRepeatedKey(index.allNullKey).has_value();
        } else {
            auto& keys = index.insertedKeys;
            std::sort(keys.begin(), keys.end());
            keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
            repeated = std::any_of(keys.begin(), keys.end(), [&](const auto& key) {
                return index.tree.countKey(key, 2) > 1;
            });
        }
        index.insertedKeys.clear();
        index.tooManyToTrack = false;
        if (repeated) duplicateIn(index);
    }
}

}  // namespace jet::index
