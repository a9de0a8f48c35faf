#include "jet/sql/relationships.h"

#include <algorithm>
#include <optional>

#include "jet/base/names.h"
#include "jet/index/index_key.h"
#include "jet/index/table_indexes.h"
#include "jet/sql/validation_rules.h"
#include "jet/sql/write_checks.h"
#include "jet/store/table_writer.h"

namespace jet::sql {
namespace {

// MSysRelationships.grbit
constexpr std::int32_t kNotEnforced = 0x2;
constexpr std::int32_t kCascadeUpdates = 0x100;
constexpr std::int32_t kCascadeDeletes = 0x1000;
constexpr std::int32_t kCascadeNulls = 0x2000;

std::string textOf(const Value& v) {
    if (auto s = std::get_if<std::string>(&v)) return *s;
    return {};
}

std::int32_t longOf(const Value& v) {
    if (auto p = std::get_if<std::int32_t>(&v)) return *p;
    return 0;
}

[[noreturn]] void unsupported(const Relationship& rel, const std::string& why) {
    throw Error(ErrorCode::Unsupported, "Cannot keep the relationship '" + rel.name +
                                            "' between '" + rel.referenced + "' and '" +
                                            rel.referencing + "': " + why +
                                            " is not supported yet; nothing was "
                                            "changed.");
}

std::size_t positionOf(const Database& db, const Relationship& rel, const TableDef& table,
                       const std::string& name) {
    const ColumnDef* c = table.findColumn(name);
    if (c == nullptr) {
        throw Error(ErrorCode::Corrupt, "The relationship '" + rel.name + "' in '" + db.path() +
                                            "' names the field '" + name + "', which table '" +
                                            table.name + "' does not have.")
            .about(db.path());
    }
    return c->order;
}

bool overlaps(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    return std::any_of(a.begin(), a.end(), [&](const std::string& x) {
        return std::any_of(b.begin(), b.end(),
                           [&](const std::string& y) { return namesEqual(x, y); });
    });
}

}  // namespace

std::vector<Relationship> enforcedRelationships(const Database& db, const std::string& table) {
    std::shared_ptr<const TableDef> rel;
    try {
        rel = db.table("MSysRelationships");
    } catch (const Error& e) {
        if (e.code() == ErrorCode::TableNotFound) return {};
        throw;
    }
    const auto col = [&](const char* name) -> int {
        const ColumnDef* c = rel->findColumn(name);
        return c ? c->order : -1;
    };
    const int name = col("szRelationship"), grbit = col("grbit"), position = col("icolumn");
    const int object = col("szObject"), objectColumn = col("szColumn");
    const int referenced = col("szReferencedObject"), referencedColumn = col("szReferencedColumn");
    if (name < 0 || object < 0 || objectColumn < 0 || referenced < 0 || referencedColumn < 0) {
        return {};
    }
    // One row per pair of columns, numbered by icolumn.
    struct Pairs {
        Relationship rel;
        std::vector<std::pair<std::int32_t, std::pair<std::string, std::string>>> columns;
    };
    std::vector<Pairs> found;
    auto cursor = db.scan(rel);
    while (cursor.next()) {
        const auto& row = cursor.row();
        const std::int32_t flags = grbit >= 0 ? longOf(row[grbit]) : 0;
        if (flags & kNotEnforced) continue;
        const std::string from = textOf(row[object]), to = textOf(row[referenced]);
        if (!namesEqual(from, table) && !namesEqual(to, table)) continue;
        const std::string relName = textOf(row[name]);
        auto it = std::find_if(found.begin(), found.end(), [&](const Pairs& p) {
            return namesEqual(p.rel.name, relName) && namesEqual(p.rel.referencing, from) &&
                   namesEqual(p.rel.referenced, to);
        });
        if (it == found.end()) {
            Pairs p;
            p.rel.name = relName;
            p.rel.referencing = from;
            p.rel.referenced = to;
            p.rel.cascadeUpdates = flags & kCascadeUpdates;
            p.rel.cascadeDeletes = flags & kCascadeDeletes;
            p.rel.cascadeNulls = flags & kCascadeNulls;
            found.push_back(std::move(p));
            it = found.end() - 1;
        }
        it->columns.push_back({position >= 0 ? longOf(row[position]) : 0,
                               {textOf(row[objectColumn]), textOf(row[referencedColumn])}});
    }
    std::vector<Relationship> result;
    for (auto& p : found) {
        std::sort(p.columns.begin(), p.columns.end());
        for (const auto& [i, pair] : p.columns) {
            p.rel.referencingColumns.push_back(pair.first);
            p.rel.referencedColumns.push_back(pair.second);
        }
        result.push_back(std::move(p.rel));
    }
    return result;
}

// One relationship as this statement meets it.
struct RelationshipGuard::Link {
    Relationship rel;
    bool holdsForeignKey = false;  // this table is the referencing side
    std::shared_ptr<const TableDef> other;
    std::vector<std::size_t> mine, theirs;  // the relationship's columns, positions in each row
    std::vector<index::KeyColumn> keyColumns;

    std::set<std::string> needed;                     // foreign keys set by the statement
    std::set<std::string> gone;                       // keys changed away from, or deleted
    std::map<std::string, std::vector<Value>> moves;  // cascading: old key -> new values
    std::unique_ptr<ValidationRules> rules;           // cascading: the other table's

    // The key of a row as bytes that compare equal when the values do; none when a column of
    // it is Null (such a record points nowhere and is not checked).
    std::optional<std::string> keyOf(const std::vector<Value>& row,
                                     const std::vector<std::size_t>& positions) const {
        std::vector<std::uint8_t> key;
        for (std::size_t i = 0; i < positions.size(); ++i) {
            const Value& v = row[positions[i]];
            if (isNull(v)) return std::nullopt;
            if (!index::appendKeyColumn(key, keyColumns[i], v)) {
                unsupported(rel, "comparing its keys of this type");
            }
        }
        return std::string(key.begin(), key.end());
    }
    bool changes(const std::vector<Value>& before, const std::vector<Value>& after) const {
        return std::any_of(mine.begin(), mine.end(),
                           [&](std::size_t p) { return before[p] != after[p]; });
    }
};

RelationshipGuard::RelationshipGuard(Database& db, const TableDef& table, Statement statement,
                                     const std::vector<bool>& changed)
    : db_(db), statement_(statement) {
    for (auto& rel : enforcedRelationships(db, table.name)) {
        const bool referencing = namesEqual(rel.referencing, table.name);
        const bool referenced = namesEqual(rel.referenced, table.name);
        for (const bool holdsForeignKey : {true, false}) {
            if (holdsForeignKey ? !referencing : !referenced) continue;
            // Deleting records that hold foreign keys never breaks a relationship; a new record
            // has nothing pointing at it yet.
            if (statement == Statement::Delete && holdsForeignKey) continue;
            if (statement == Statement::Insert && !holdsForeignKey) continue;
            const auto& columns = holdsForeignKey ? rel.referencingColumns : rel.referencedColumns;
            if (statement == Statement::Update &&
                std::none_of(columns.begin(), columns.end(), [&](const std::string& c) {
                    const ColumnDef* d = table.findColumn(c);
                    return d != nullptr && changed[d->order];
                })) {
                continue;
            }
            if (referencing && referenced) unsupported(rel, "a table related to itself");
            auto link = std::make_unique<Link>();
            link->rel = rel;
            link->holdsForeignKey = holdsForeignKey;
            link->other = db.table(holdsForeignKey ? rel.referenced : rel.referencing);
            const auto& otherColumns =
                holdsForeignKey ? rel.referencedColumns : rel.referencingColumns;
            for (std::size_t i = 0; i < columns.size() && i < otherColumns.size(); ++i) {
                const std::size_t m = positionOf(db, rel, table, columns[i]);
                const std::size_t t = positionOf(db, rel, *link->other, otherColumns[i]);
                const ColumnType type = table.columns[m].type;
                if (type != link->other->columns[t].type || !index::canEncodeKeyColumn(type)) {
                    unsupported(rel, std::string("comparing keys of type ") + columnTypeName(type) +
                                         " with keys of type " +
                                         columnTypeName(link->other->columns[t].type));
                }
                link->mine.push_back(m);
                link->theirs.push_back(t);
                link->keyColumns.push_back(index::KeyColumn{type, true});
            }
            if (!holdsForeignKey) {
                const bool cascades = statement == Statement::Update
                                          ? rel.cascadeUpdates
                                          : (rel.cascadeDeletes || rel.cascadeNulls);
                if (cascades) {
                    const TableDef& other = *link->other;
                    // What the cascade changes must not reach further.
                    for (const auto& further : enforcedRelationships(db, other.name)) {
                        if (!namesEqual(further.referenced, other.name)) continue;
                        if ((statement == Statement::Delete && rel.cascadeDeletes) ||
                            overlaps(further.referencedColumns, rel.referencingColumns)) {
                            unsupported(rel, "a cascade into '" + other.name +
                                                 "', which other records relate to in turn,");
                        }
                    }
                    if (std::any_of(other.columns.begin(), other.columns.end(),
                                    [](const ColumnDef& c) {
                                        return c.calculated || c.type == ColumnType::Complex;
                                    })) {
                        unsupported(rel, "a cascade into '" + other.name +
                                             "', which has calculated, attachment or multi-value "
                                             "fields,");
                    }
                    std::vector<bool> theirs(other.columns.size(), false);
                    for (const std::size_t t : link->theirs) theirs[t] = true;
                    if (!index::TableIndexes::unsupportedChange(other, theirs).empty()) {
                        unsupported(rel, "a cascade into '" + other.name +
                                             "' through an index whose keys it cannot change yet");
                    }
                    link->rules =
                        std::make_unique<ValidationRules>(db, other, propertiesOf(db, other));
                }
            }
            links_.push_back(std::move(link));
        }
    }
}

RelationshipGuard::~RelationshipGuard() = default;

void RelationshipGuard::rowUpdated(const std::vector<Value>& before,
                                   const std::vector<Value>& after) {
    for (auto& link : links_) {
        if (!link->changes(before, after)) continue;
        if (link->holdsForeignKey) {
            if (auto key = link->keyOf(after, link->mine)) link->needed.insert(std::move(*key));
            continue;
        }
        const auto old = link->keyOf(before, link->mine);
        if (old) {
            link->gone.insert(*old);
            if (link->rel.cascadeUpdates) {
                std::vector<Value> values;
                for (const std::size_t p : link->mine) values.push_back(after[p]);
                link->moves.emplace(*old, std::move(values));
            }
        }
    }
}

void RelationshipGuard::rowInserted(const std::vector<Value>& row) {
    for (auto& link : links_) {
        if (auto key = link->keyOf(row, link->mine)) link->needed.insert(std::move(*key));
    }
}

void RelationshipGuard::rowDeleted(const std::vector<Value>& before) {
    for (auto& link : links_) {
        if (auto key = link->keyOf(before, link->mine)) link->gone.insert(std::move(*key));
    }
}

void RelationshipGuard::finish(store::WriteContext& ctx) {
    for (auto& link : links_) {
        const Relationship& rel = link->rel;
        const TableDef& other = *link->other;
        if (link->holdsForeignKey) {
            if (link->needed.empty()) continue;
            auto cursor = ctx.scan(other);
            while (!link->needed.empty() && cursor.next()) {
                if (auto key = link->keyOf(cursor.row(), link->theirs)) link->needed.erase(*key);
            }
            if (!link->needed.empty()) {
                throw Error(ErrorCode::RelatedRecordRequired,
                            "You cannot add or change a record because a related record is "
                            "required in table '" +
                                rel.referenced + "' (relationship '" + rel.name + "').");
            }
            continue;
        }
        // A record whose key changes may not leave related records behind, even when another
        // record takes its old key in the same statement: they would change meaning.
        if (link->gone.empty()) continue;
        const bool cascade = statement_ == Statement::Update
                                 ? rel.cascadeUpdates
                                 : (rel.cascadeDeletes || rel.cascadeNulls);
        store::TableWriter writer(ctx.file, ctx.format, other, ctx.codePage);
        index::TableIndexes indexes(ctx.file, ctx.format, other);
        std::vector<std::uint32_t> deleted;
        store::ChangedColumns changed(other.columns.size());
        for (const std::size_t t : link->theirs) changed.mark(t);
        auto cursor = ctx.scan(other);
        while (cursor.next()) {
            const auto& row = cursor.row();
            const auto key = link->keyOf(row, link->theirs);
            if (!key || !link->gone.contains(*key)) continue;
            if (!cascade) {
                throw Error(ErrorCode::RelatedRecordsExist,
                            "The record cannot be deleted or changed because table '" +
                                rel.referencing + "' includes related records (relationship '" +
                                rel.name + "').");
            }
            if (statement_ == Statement::Delete && rel.cascadeDeletes) {
                writer.deleteRow(cursor.location());
                deleted.push_back(cursor.location().page << 8 | cursor.location().slot);
                continue;
            }
            std::vector<Value> values = row;
            for (std::size_t i = 0; i < link->theirs.size(); ++i) {
                const ColumnDef& column = other.columns[link->theirs[i]];
                Value v = statement_ == Statement::Update ? link->moves.at(*key)[i] : Value{};
                if (isNull(v) && isRequired(db_, other, column)) {
                    throw Error(ErrorCode::NotUpdatable, "You must enter a value in the '" +
                                                             other.name + "." + column.name +
                                                             "' field.");
                }
                values[link->theirs[i]] = std::move(v);
            }
            try {
                link->rules->check(values, changed);
            } catch (const Error& e) {
                throw Error(e.code(), "Cannot perform cascading operation (relationship '" +
                                          rel.name + "'): " + e.what());
            }
            writer.updateRow(cursor.location(), values, changed.mask());
            indexes.updateRow(cursor.location(), row, values, changed.mask());
        }
        if (!deleted.empty()) {
            writer.adjustRowCount(-static_cast<std::int64_t>(deleted.size()));
            indexes.removeRows(std::move(deleted));
        }
        indexes.finish();
    }
}

}  // namespace jet::sql
