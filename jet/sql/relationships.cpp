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

// The most guards one statement's cascades may take.
constexpr std::size_t kMaxGuards = 1000;

// The relationships of MSysRelationships; with `table`, only the enforced ones either side of
// which it is.
std::vector<Relationship> readRelationships(const Database& db, const std::string* table) {
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
        if (table != nullptr && (flags & kNotEnforced)) continue;
        const std::string from = textOf(row[object]), to = textOf(row[referenced]);
        if (table != nullptr && !namesEqual(from, *table) && !namesEqual(to, *table)) continue;
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
            p.rel.enforced = !(flags & kNotEnforced);
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

}  // namespace

std::vector<Relationship> enforcedRelationships(const Database& db, const std::string& table) {
    return readRelationships(db, &table);
}

std::vector<Relationship> allRelationships(const Database& db) {
    return readRelationships(db, nullptr);
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
    // Cascading: the guard of the other table, told of each record the cascade changes; or,
    // when the other table is already on the chain, the chain that would close a circle.
    std::unique_ptr<RelationshipGuard> next;
    std::vector<std::string> circle;
    bool cascades = false;

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
    std::size_t guards = 0;
    prepare(table, changed, {table.name}, nullptr, guards);
}

RelationshipGuard::RelationshipGuard(Database& db, const TableDef& table, Statement statement,
                                     const std::vector<bool>& changed,
                                     std::vector<std::string> path, const Relationship* via,
                                     std::size_t& guards)
    : db_(db), statement_(statement) {
    prepare(table, changed, std::move(path), via, guards);
}

void RelationshipGuard::prepare(const TableDef& table, const std::vector<bool>& changed,
                                std::vector<std::string> path, const Relationship* via,
                                std::size_t& guards) {
    Database& db = db_;
    const Statement statement = statement_;
    // Every way a cascade can run has a guard of its own: relationships woven tightly enough
    // would make more of them than a statement should wait for.
    if (++guards > kMaxGuards) {
        throw Error(ErrorCode::Unsupported,
                    "The relationships of table '" + path.front() +
                        "' cascade along more ways than this engine follows (more than " +
                        std::to_string(kMaxGuards) + "); nothing was changed.");
    }
    for (auto& rel : enforcedRelationships(db, table.name)) {
        const bool referencing = namesEqual(rel.referencing, table.name);
        const bool referenced = namesEqual(rel.referenced, table.name);
        // The records a cascade changes take their new keys from records that exist.
        const bool cameThrough = via != nullptr && namesEqual(via->name, rel.name) &&
                                 namesEqual(via->referencing, rel.referencing) &&
                                 namesEqual(via->referenced, rel.referenced);
        for (const bool holdsForeignKey : {true, false}) {
            if (holdsForeignKey ? !referencing : !referenced) continue;
            if (holdsForeignKey && cameThrough) continue;
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
                    link->cascades = true;
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
                    // The records the cascade deletes, or whose keys it changes, are kept by
                    // the other table's relationships in turn.
                    const bool onPath = std::any_of(
                        path.begin(), path.end(),
                        [&](const std::string& t) { return namesEqual(t, other.name); });
                    if (onPath) {
                        link->circle = path;
                        link->circle.push_back(other.name);
                    } else {
                        const Statement follows =
                            statement == Statement::Delete && rel.cascadeDeletes
                                ? Statement::Delete
                                : Statement::Update;
                        std::vector<std::string> further = path;
                        further.push_back(other.name);
                        link->next.reset(new RelationshipGuard(
                            db, other, follows, theirs, std::move(further), &link->rel, guards));
                    }
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
    cascade(ctx);
    verify(ctx);
}

void RelationshipGuard::cascade(store::WriteContext& ctx) {
    for (auto& link : links_) {
        if (!link->cascades || link->gone.empty()) continue;
        const Relationship& rel = link->rel;
        const TableDef& other = *link->other;
        // The keys the cascade leaves no record behind with; what stays is for verify().
        bool reached = false;
        {
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
                if (!link->circle.empty()) {
                    std::string chain;
                    for (const auto& t : link->circle)
                        chain += (chain.empty() ? "'" : " -> '") + t + "'";
                    throw Error(ErrorCode::Unsupported,
                                "Cannot keep the relationship '" + rel.name +
                                    "': its cascade would come back to a table it has already "
                                    "changed (" +
                                    chain +
                                    "); cascades around a circle of relationships are not "
                                    "followed, and nothing was changed.");
                }
                reached = true;
                if (statement_ == Statement::Delete && rel.cascadeDeletes) {
                    writer.deleteRow(cursor.location());
                    deleted.push_back(cursor.location().page << 8 | cursor.location().slot);
                    if (link->next) link->next->rowDeleted(row);
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
                if (link->next) link->next->rowUpdated(row, values);
            }
            if (!deleted.empty()) {
                writer.adjustRowCount(-static_cast<std::int64_t>(deleted.size()));
                indexes.removeRows(std::move(deleted));
            }
            indexes.finish();
        }
        // The writers of this table are done before the next table's cascades, which may reach
        // this table again by another way.
        if (reached && link->next) link->next->cascade(ctx);
    }
}

void RelationshipGuard::verify(store::WriteContext& ctx) {
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
        if (link->cascades) {
            if (link->next) link->next->verify(ctx);
            continue;
        }
        // A record whose key changes may not leave related records behind, even when another
        // record takes its old key in the same statement: they would change meaning.
        if (link->gone.empty()) continue;
        auto cursor = ctx.scan(other);
        while (cursor.next()) {
            const auto key = link->keyOf(cursor.row(), link->theirs);
            if (key && link->gone.contains(*key)) {
                throw Error(ErrorCode::RelatedRecordsExist,
                            "The record cannot be deleted or changed because table '" +
                                rel.referencing + "' includes related records (relationship '" +
                                rel.name + "').");
            }
        }
    }
}

}  // namespace jet::sql
