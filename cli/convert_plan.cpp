#include "cli/convert_plan.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "jet/base/names.h"
#include "jet/sql/relationships.h"
#include "jet/sql/write_checks.h"

namespace cli::convert {
namespace {

// PostgreSQL keeps the first 63 bytes of a name (NAMEDATALEN - 1).
constexpr std::size_t kPostgresNameBytes = 63;

std::string folded(const std::string& name) {
    std::string out = name;
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// FNV-1a: a short tag that tells two long names apart, the same on every run.
std::string hashTag(const std::string& name) {
    std::uint32_t h = 2166136261u;
    for (const char c : name) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    char tag[9];
    std::snprintf(tag, sizeof tag, "%08x", h);
    return tag;
}

// The longest start of `s` of at most `bytes` bytes that ends between two UTF-8 characters.
std::string cutAt(const std::string& s, std::size_t bytes) {
    if (s.size() <= bytes) return s;
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
    return s.substr(0, end);
}

std::string textOf(const jet::Value& v) {
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    return {};
}

std::int64_t integerOf(const jet::Value& v) {
    if (const auto* p = std::get_if<std::int32_t>(&v)) return *p;
    if (const auto* p = std::get_if<std::int16_t>(&v)) return *p;
    return -1;
}

std::string listed(const std::vector<std::string>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) out += (i ? ", '" : "'") + names[i] + "'";
    return out;
}

// An attachment or multi-value field and the hidden table that holds its values.
struct ComplexField {
    std::string table;
    std::string field;
    std::string flatTable;
};

// The complex fields of the database, from MSysComplexColumns and the catalog.
std::vector<ComplexField> complexFields(const jet::Database& db) {
    std::shared_ptr<const jet::TableDef> columns;
    try {
        columns = db.table("MSysComplexColumns");
    } catch (const jet::Error& e) {
        if (e.code() == jet::ErrorCode::TableNotFound) return {};
        throw;
    }
    const auto at = [&](const char* name) -> int {
        const jet::ColumnDef* c = columns->findColumn(name);
        return c ? c->order : -1;
    };
    const int name = at("ColumnName"), flat = at("FlatTableID"), owner = at("ConceptualTableID");
    if (name < 0 || flat < 0 || owner < 0) return {};
    std::map<std::int64_t, std::string> objects;
    for (const auto& e : db.catalog()) objects[e.id] = e.name;
    std::vector<ComplexField> found;
    auto cursor = db.scan(columns);
    while (cursor.next()) {
        const auto& row = cursor.row();
        const auto table = objects.find(integerOf(row[owner]));
        const auto flatTable = objects.find(integerOf(row[flat]));
        if (table == objects.end() || flatTable == objects.end()) continue;
        found.push_back({table->second, textOf(row[name]), flatTable->second});
    }
    return found;
}

class Planner {
public:
    Planner(const jet::Database& db, Target target)
        : db_(db),
          target_(target),
          relations_(target == Target::PostgreSQL ? kPostgresNameBytes : 0),
          constraints_(target == Target::PostgreSQL ? kPostgresNameBytes : 0) {
        // SQLite keeps names that begin with "sqlite_" for its own tables.
        if (target == Target::SQLite) relations_.reserve("sqlite_sequence");
    }

    Plan run(const std::vector<std::string>& only) {
        std::vector<std::shared_ptr<const jet::TableDef>> chosen;
        if (only.empty()) {
            for (const auto& name : db_.userTableNames()) chosen.push_back(db_.table(name));
        } else {
            for (const auto& name : only) {
                auto def = db_.table(name);
                const bool twice = std::any_of(chosen.begin(), chosen.end(), [&](const auto& t) {
                    return jet::namesEqual(t->name, def->name);
                });
                if (!twice) chosen.push_back(std::move(def));
            }
        }
        const auto complex = complexFields(db_);
        for (const auto& def : chosen) {
            const std::size_t parent = addTable(def, def->name);
            for (const auto& c : def->columns) {
                if (c.type == jet::ColumnType::Complex) addChild(parent, c, complex);
            }
        }
        addRelationships();
        return std::move(plan_);
    }

private:
    std::string relationName(const std::string& wanted) {
        std::string name = wanted;
        if (target_ == Target::SQLite && folded(name).rfind("sqlite_", 0) == 0) name = "_" + name;
        return relations_.take(name);
    }

    // `what`: "table 'Orders'", "field 'Price' of 'Orders'".
    void noteRenamed(const std::string& what, const std::string& from, const std::string& to) {
        if (from == to) return;
        const char* why = to.size() < from.size() ? "PostgreSQL names are 63 bytes at most"
                          : to == "_" + from      ? "SQLite keeps names beginning with sqlite_"
                                                  : "the name was taken";
        plan_.notes.push_back("Renamed: " + what + " is '" + to + "' (" + why + ").");
    }

    std::size_t addTable(std::shared_ptr<const jet::TableDef> def, const std::string& wanted) {
        PlannedTable t;
        t.name = relationName(wanted);
        if (wanted == def->name) noteRenamed("table '" + def->name + "'", def->name, t.name);
        const jet::IndexDef* primary = nullptr;
        for (const auto& ix : def->indexes) {
            if (ix.primaryKey()) primary = &ix;
        }
        const std::vector<bool> required = jet::sql::requiredFields(db_, *def);
        NameScope columnNames(target_ == Target::PostgreSQL ? kPostgresNameBytes : 0);
        for (const auto& c : def->columns) {
            PlannedColumn column;
            column.source = &c;
            column.name = columnNames.take(c.name);
            noteRenamed("field '" + c.name + "' of '" + def->name + "'", c.name, column.name);
            const bool inPrimaryKey =
                primary != nullptr &&
                std::any_of(primary->columns.begin(), primary->columns.end(),
                            [&](const jet::IndexColumn& k) { return k.columnNumber == c.number; });
            // A Yes/No field is never Null in Access: its value is a bit of the null mask.
            column.notNull = inPrimaryKey || c.type == jet::ColumnType::YesNo || required[c.order];
            if (c.autoNumber && c.type == jet::ColumnType::Long) {
                // SQLite numbers only its INTEGER PRIMARY KEY, the row id.
                const bool rowId =
                    primary != nullptr && primary->columns.size() == 1 && inPrimaryKey;
                if (target_ == Target::PostgreSQL || rowId) {
                    column.identity = true;
                    t.identity = t.columns.size();
                    t.nextIdentity = std::int64_t{def->nextAutoNumber} + 1;
                } else {
                    plan_.notes.push_back("AutoNumber field '" + c.name + "' of '" + def->name +
                                          "' is a plain INTEGER: SQLite numbers only an INTEGER "
                                          "PRIMARY KEY.");
                }
            }
            if (c.calculated) {
                plan_.notes.push_back("Calculated field '" + c.name + "' of '" + def->name +
                                      "' holds its values as they are; its expression is not "
                                      "carried over.");
            }
            if (!jet::isKnownColumnType(static_cast<std::uint8_t>(c.type))) {
                plan_.notes.push_back("Field '" + c.name + "' of '" + def->name +
                                      "' is of a type the engine does not know; its bytes are "
                                      "carried over as they are.");
            }
            t.columns.push_back(std::move(column));
        }
        addIndexes(t, *def);
        t.def = std::move(def);
        plan_.tables.push_back(std::move(t));
        return plan_.tables.size() - 1;
    }

    static std::optional<std::size_t> columnNumbered(const jet::TableDef& def,
                                                     std::uint16_t number) {
        for (std::size_t i = 0; i < def.columns.size(); ++i) {
            if (def.columns[i].number == number) return i;
        }
        return std::nullopt;
    }

    void addIndexes(PlannedTable& t, const jet::TableDef& def) {
        std::vector<std::vector<std::pair<std::size_t, bool>>> seen;
        // Keys first, so that an index Access made for a relationship is left out when a key
        // already covers its fields.
        std::vector<const jet::IndexDef*> order;
        for (const auto& ix : def.indexes) {
            if (!ix.foreignKey()) order.push_back(&ix);
        }
        for (const auto& ix : def.indexes) {
            if (ix.foreignKey()) order.push_back(&ix);
        }
        for (const jet::IndexDef* ix : order) {
            PlannedIndex planned;
            planned.primaryKey = ix->primaryKey();
            planned.unique = ix->unique || ix->primaryKey();
            bool whole = !ix->columns.empty();
            for (const auto& k : ix->columns) {
                const auto at = columnNumbered(def, k.columnNumber);
                if (!at) whole = false;
                if (at) planned.columns.emplace_back(*at, k.ascending);
            }
            if (!whole) {
                plan_.notes.push_back("Left out: index '" + ix->name + "' of '" + def.name +
                                      "' names a field the table does not have.");
                continue;
            }
            if (ix->foreignKey() &&
                std::find(seen.begin(), seen.end(), planned.columns) != seen.end()) {
                continue;
            }
            seen.push_back(planned.columns);
            planned.name = relationName(t.name + "_" + (planned.primaryKey ? "pkey" : ix->name));
            if (planned.primaryKey) constraints_.reserve(planned.name);
            t.indexes.push_back(std::move(planned));
        }
    }

    void addChild(std::size_t parent, const jet::ColumnDef& field,
                  const std::vector<ComplexField>& complex) {
        const std::string owner = plan_.tables[parent].def->name;
        const auto it = std::find_if(complex.begin(), complex.end(), [&](const ComplexField& f) {
            return jet::namesEqual(f.table, owner) && jet::namesEqual(f.field, field.name);
        });
        if (it == complex.end()) {
            plan_.notes.push_back("Left out: the values of attachment or multi-value field '" +
                                  field.name + "' of '" + owner +
                                  "': the database does not say where they are.");
            return;
        }
        const std::size_t child = addTable(db_.table(it->flatTable), owner + "_" + field.name);
        PlannedTable& c = plan_.tables[child];
        const jet::ColumnDef* link = c.def->findColumn("_" + field.name);
        std::string how;
        // The foreign key needs the field's values unique, as Access's own index on it keeps them.
        if (link != nullptr && uniqueOn(plan_.tables[parent], {field.order})) {
            PlannedForeignKey key;
            key.table = child;
            key.columns = {link->order};
            key.referencedTable = parent;
            key.referencedColumns = {field.order};
            key.cascadeDeletes = true;
            key.name = constraints_.take(c.name + "_fkey");
            plan_.foreignKeys.push_back(std::move(key));
            how = ", whose '" + c.columns[link->order].name + "' holds the field's value in '" +
                  plan_.tables[parent].name + "'";
        }
        plan_.notes.push_back("Attachment or multi-value field '" + field.name + "' of '" + owner +
                              "': its values (Access's hidden table '" + it->flatTable +
                              "') are in table '" + c.name + "'" + how + ".");
    }

    std::optional<std::size_t> plannedTable(const std::string& accessName) const {
        for (std::size_t i = 0; i < plan_.tables.size(); ++i) {
            if (jet::namesEqual(plan_.tables[i].def->name, accessName)) return i;
        }
        return std::nullopt;
    }

    bool columnsOf(const PlannedTable& t, const std::vector<std::string>& names,
                   std::vector<std::size_t>& out) const {
        for (const auto& n : names) {
            const jet::ColumnDef* c = t.def->findColumn(n);
            if (c == nullptr) return false;
            out.push_back(c->order);
        }
        return !out.empty();
    }

    // Whether the target has a key or unique index on exactly these columns of `t`, which a
    // foreign key needs on the side it points at.
    static bool uniqueOn(const PlannedTable& t, std::vector<std::size_t> columns) {
        std::sort(columns.begin(), columns.end());
        return std::any_of(t.indexes.begin(), t.indexes.end(), [&](const PlannedIndex& ix) {
            std::vector<std::size_t> own;
            for (const auto& [c, ascending] : ix.columns) own.push_back(c);
            std::sort(own.begin(), own.end());
            return ix.unique && own == columns;
        });
    }

    void addRelationships() {
        for (const auto& rel : jet::sql::allRelationships(db_)) {
            const std::string what = "relationship '" + rel.name + "' from '" + rel.referencing +
                                     "' (" + listed(rel.referencingColumns) + ") to '" +
                                     rel.referenced + "' (" + listed(rel.referencedColumns) + ")";
            const auto from = plannedTable(rel.referencing), to = plannedTable(rel.referenced);
            if (!from && !to) continue;
            if (!rel.enforced) {
                plan_.notes.push_back("Left out: " + what + ", which Access does not enforce.");
                continue;
            }
            if (!from || !to) {
                plan_.notes.push_back("Left out: " + what + ": table '" +
                                      (from ? rel.referenced : rel.referencing) +
                                      "' is not converted.");
                continue;
            }
            PlannedForeignKey key;
            key.table = *from;
            key.referencedTable = *to;
            if (!columnsOf(plan_.tables[*from], rel.referencingColumns, key.columns) ||
                !columnsOf(plan_.tables[*to], rel.referencedColumns, key.referencedColumns) ||
                key.columns.size() != key.referencedColumns.size()) {
                plan_.notes.push_back("Left out: " + what +
                                      ": it names fields the tables do not "
                                      "have.");
                continue;
            }
            if (!uniqueOn(plan_.tables[*to], key.referencedColumns)) {
                plan_.notes.push_back("Left out: " + what + ": '" + rel.referenced +
                                      "' has no key or unique index on those fields.");
                continue;
            }
            key.cascadeUpdates = rel.cascadeUpdates;
            key.cascadeDeletes = rel.cascadeDeletes;
            key.cascadeNulls = rel.cascadeNulls;
            key.name = constraints_.take(plan_.tables[*from].name + "_" + rel.name);
            plan_.foreignKeys.push_back(std::move(key));
        }
    }

    const jet::Database& db_;
    Target target_;
    // Tables and indexes share one scope in both targets; foreign keys are constraints, whose
    // names make no index. A key's constraint is named as its index.
    NameScope relations_;
    NameScope constraints_;
    Plan plan_;
};

}  // namespace

bool NameScope::free(const std::string& name) const { return !taken_.count(folded(name)); }

void NameScope::reserve(const std::string& name) { taken_.insert(folded(name)); }

std::string NameScope::take(const std::string& wanted) {
    std::string name = wanted.empty() ? "_" : wanted;
    if (maxBytes_ != 0 && name.size() > maxBytes_) {
        name = cutAt(name, maxBytes_ - 9) + "_" + hashTag(wanted);
    }
    for (int n = 2; !free(name); ++n) {
        const std::string suffix = "_" + std::to_string(n);
        std::string base = name;
        if (maxBytes_ != 0 && base.size() + suffix.size() > maxBytes_) {
            base = cutAt(base, maxBytes_ - suffix.size());
        }
        if (free(base + suffix)) {
            name = base + suffix;
            break;
        }
    }
    reserve(name);
    return name;
}

std::string quoted(const std::string& name) {
    std::string out = "\"";
    for (const char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

Plan makePlan(const jet::Database& db, Target target, const std::vector<std::string>& only) {
    return Planner(db, target).run(only);
}

}  // namespace cli::convert
