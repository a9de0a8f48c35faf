// Enforced relationships (MSysRelationships) kept during UPDATE and DELETE. A statement tells
// the guard each row it changes or deletes; at the end, inside the same write, the guard checks
// the other tables: a changed foreign key must find its record, a changed or deleted key with
// records pointing at it fails, unless the relationship cascades, in which case those records
// follow (new key, deleted, or set to Null), held to their own table's validation rules. Any
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
};

// The enforced relationships either side of which is `table`. A relationship that is only
// documented (not enforced) is left out.
std::vector<Relationship> enforcedRelationships(const Database& db, const std::string& table);

class RelationshipGuard {
public:
    enum class Statement { Update, Delete, Insert };
    // Prepared before the write. `changed` marks the columns the UPDATE assigns (ignored for
    // DELETE and INSERT; a new record only needs the records its foreign keys name). Throws
    // Error(Unsupported) naming the relationship when keeping it would need what is not built
    // yet (text keys, cascades that would cascade again).
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
    Database& db_;
    Statement statement_;
    std::vector<std::unique_ptr<Link>> links_;
};

}  // namespace jet::sql
