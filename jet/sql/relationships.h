// Enforced relationships (MSysRelationships) kept during UPDATE and DELETE. A statement tells
// the guard each row it changes or deletes; at the end, inside the same write, the guard checks
// the other tables: a changed foreign key must find its record, a changed or deleted key with
// records pointing at it fails, unless the relationship cascades, in which case those records
// follow (new key, deleted, or set to Null), held to their own table's validation rules.
//
// What a cascade changes is kept in turn by the relationships of the table it changes, as far
// as the chain of relationships goes, each by its own rules. All cascades run first and the
// checks after them, so a record that one cascade deletes no longer holds back the change of
// another. A cascade that would come back to a table the chain has already passed through (a
// circle of relationships) is refused rather than followed, once it reaches a record there. Any
// failure rolls the whole statement back.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/store/write_context.h"

namespace jet::sql {

struct Relationship {
    std::string name;
    std::string referencing;  // the table whose records point at another's (szObject)
    std::vector<std::string> referencingColumns;
    std::string referenced;  // the table they point at (szReferencedObject)
    std::vector<std::string> referencedColumns;
    bool cascadeUpdates = false;
    bool cascadeDeletes = false;
    bool cascadeNulls = false;  // deleting a record sets the keys pointing at it to Null
    bool enforced = true;       // false: only documented, Access keeps nothing
};

// The enforced relationships either side of which is `table`. A relationship that is only
// documented (not enforced) is left out.
std::vector<Relationship> enforcedRelationships(const Database& db, const std::string& table);
// Every relationship of the database, enforced or not, in the order MSysRelationships holds them.
std::vector<Relationship> allRelationships(const Database& db);

class RelationshipGuard {
public:
    enum class Statement { Update, Delete, Insert };
    // Prepared before the write, the guards of the tables cascades reach included. `changed`
    // marks the columns the UPDATE assigns (ignored for DELETE and INSERT; a new record only
    // needs the records its foreign keys name). Throws Error(Unsupported) naming the
    // relationship when keeping it would need what is not built yet (keys of some types, a
    // table related to itself, cascades along more than a thousand ways).
    RelationshipGuard(Database& db, const TableDef& table, Statement statement,
                      const std::vector<bool>& changed);
    ~RelationshipGuard();

    bool active() const { return !links_.empty(); }
    void rowUpdated(const std::vector<Value>& before, const std::vector<Value>& after);
    void rowDeleted(const std::vector<Value>& before);
    void rowInserted(const std::vector<Value>& row);
    // Checks and cascades; call inside the statement's write, after its own rows are written.
    void finish(store::WriteContext& ctx);

private:
    struct Link;
    // `path` holds the tables the chain of cascades came through to `table`, the statement's
    // own first; `via` the relationship whose cascade changes this table's rows, if any;
    // `guards` counts the guards made for the statement so far.
    RelationshipGuard(Database& db, const TableDef& table, Statement statement,
                      const std::vector<bool>& changed, std::vector<std::string> path,
                      const Relationship* via, std::size_t& guards);
    // The links of `table`, and the guards of the tables their cascades change.
    void prepare(const TableDef& table, const std::vector<bool>& changed,
                 std::vector<std::string> path, const Relationship* via, std::size_t& guards);
    // The cascades of this guard's links, and of the guards they lead to.
    void cascade(store::WriteContext& ctx);
    // The foreign keys that must find their records, and the keys that must not leave records
    // behind, once every cascade has run.
    void verify(store::WriteContext& ctx);

    Database& db_;
    Statement statement_;
    std::vector<std::unique_ptr<Link>> links_;
};

}  // namespace jet::sql
