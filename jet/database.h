// The engine's public face: open an Access database, read its catalog, its table definitions
// and its rows; keep snapshots of it.
//
// A snapshot is the database as it was when it was taken, readable while this Database goes on
// changing it: a data grid keeps showing the rows and columns it opened with. Taking one copies
// nothing but the catalog. The page file saves a page's committed bytes for the open snapshots
// before a write first changes it (file/page_snapshot.h), so a snapshot costs memory (and,
// beyond a budget, temporary disk space) in proportion to what changed since, not to the table.
// While a Snapshot::Reading guard lives, every read of the Database (catalog, table definitions
// cached per snapshot, scans, sql::query) answers from the snapshot, and writes are refused. A
// cursor keeps reading the view it was opened in, whatever guard is active when it advances.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/base/error.h"
#include "jet/base/value.h"
#include "jet/format/schema.h"

namespace jet {

namespace format {
struct Format;
}
namespace store {
struct WriteContext;
}
namespace file {
class FaultSeam;
class PageSnapshot;
}  // namespace file

struct OpenOptions {
    std::string password;  // the database password; ignored for unprotected files
    // Open for reading and writing when the file allows it; a read-only file opens read-only.
    bool writable = true;
    // Tests only: a seam called before every page write and sync, and how many changed pages
    // a write keeps in memory before it flushes them (0: the default).
    file::FaultSeam* faultSeam = nullptr;
    std::size_t dirtyPageLimit = 0;
};

class DatabaseFile;
class TableReader;
class Snapshot;

// What the open snapshots of a Database hold of the pages changed since they were taken.
struct SnapshotUsage {
    std::size_t pages = 0;  // page images, each shared by the snapshots that need it
    std::uint64_t bytesInMemory = 0;
    std::uint64_t bytesInTempFile = 0;
};

// Streams the rows of one table in physical order (the usage map's pages, slots in order,
// deleted rows skipped), one data page in memory at a time.
class RowCursor {
public:
    ~RowCursor();
    RowCursor(RowCursor&&) noexcept;
    RowCursor& operator=(RowCursor&&) noexcept;

    bool next();                            // moves to the next row; false at the end
    const std::vector<Value>& row() const;  // values in the table's column order
    RowLocation location() const;
    // From now on reads only the columns `columns` marks (in the table's column order); the
    // others read as Null. For statements that need a few columns of wide rows.
    void decodeOnly(std::vector<bool> columns);

private:
    friend class Database;
    struct State;
    explicit RowCursor(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

class Database {
public:
    // Throws Error: FileNotFound, UnrecognizedFormat, NotValidPassword, Unsupported (an
    // encryption or a descriptor of it that the engine cannot follow).
    static std::unique_ptr<Database> open(const std::string& path, const OpenOptions& options = {});
    ~Database();

    const std::string& path() const;
    Version version() const;
    std::uint16_t codePage() const;  // Jet 3 text code page (e.g. 1252)
    const format::Format* format() const;
    bool writable() const;  // false when the file (or its folder) is read-only

    const std::vector<CatalogEntry>& catalog() const;
    // Ordered by TABLE_TYPE, then TABLE_NAME without regard to case.
    std::vector<TablesRowsetRow> tablesRowset() const;
    // The user tables ("TABLE" rows), in rowset order.
    std::vector<std::string> userTableNames() const;

    // Case-insensitive; throws Error(TableNotFound) naming the table.
    std::shared_ptr<const TableDef> table(std::string_view name) const;

    // The cursor reads the view (the database as it is, or a snapshot) it was opened in, and
    // keeps a snapshot's pages alive.
    RowCursor scan(std::shared_ptr<const TableDef> table) const;
    // Reads one row again by its location; throws when the slot holds no live row.
    std::vector<Value> readRow(const TableDef& table, RowLocation where) const;

    // Runs `work` as one atomic, crash-safe write holding the exclusive lock: each page it
    // changes is journaled before it is overwritten, and an exception from `work` leaves the file
    // exactly as it was. Throws Error(ReadOnly) or Error(Locked) before calling `work`; also
    // Error(ReadOnly) under a Snapshot::Reading guard.
    void write(const std::function<void(store::WriteContext&)>& work);

    // Reads the catalog and the table definitions again when another program has committed a
    // change to the file since they were read (one that added a field, say, or a validation
    // rule). Statements call it first. REQUIRES: nothing read from catalog() or table() is
    // held across the call.
    void catchUp() const;

    // Called every few hundred page reads while the engine works, reads and writes alike, so
    // that a program can keep its windows painted through a long statement. REQUIRES: the
    // handler does not use this Database (it runs in the middle of a statement); an exception
    // from it fails the statement, which changes nothing. An empty handler removes it.
    void setProgressHandler(std::function<void()> handler);

    // While it lives, every read of this Database sees one committed state: the shared lock is
    // held from the first read to the end, so a writer waits (up to its patience, then it fails
    // with Error(Locked) saying the database is being read). For reads that run to their end
    // without waiting on a person, such as a dump, an export or a query printed whole; a view a
    // person looks at uses a snapshot instead, which never holds a writer off. It must not
    // outlive the Database.
    class ReadTransaction {
    public:
        ~ReadTransaction();
        ReadTransaction(ReadTransaction&&) noexcept;
        ReadTransaction& operator=(ReadTransaction&&) = delete;

    private:
        friend class Database;
        struct State;
        explicit ReadTransaction(std::unique_ptr<State> state);
        std::unique_ptr<State> state_;
    };
    [[nodiscard]] ReadTransaction readTransaction() const;

    // The database as it is now (not inside a write, and whatever guard is active). The
    // snapshot must not outlive the Database. Throws the errors of reading.
    std::shared_ptr<Snapshot> takeSnapshot() const;
    // Snapshots keep the pages changed since in memory up to this many bytes (64 MiB unless
    // set), the rest in a temporary file.
    void setSnapshotMemoryBudget(std::size_t bytes);
    SnapshotUsage snapshotUsage() const;

    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    struct Impl;  // opaque; public so that cursors and snapshots can hold on to the file

private:
    explicit Database(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// The database as it was when Database::takeSnapshot() made it (see the top of this file).
class Snapshot {
public:
    struct State;
    explicit Snapshot(std::unique_ptr<State> state);
    ~Snapshot();
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    // While it lives, reads of the Database see this snapshot. Guards nest, must end in the
    // reverse order of their making, and must not outlive their Snapshot; each puts back the
    // view that was set before it. Reads throw Error(DataChanged) once another program has
    // changed the file since the snapshot was taken: the snapshot can no longer tell how the
    // file was.
    class Reading {
    public:
        ~Reading();
        Reading(const Reading&) = delete;
        Reading& operator=(const Reading&) = delete;

    private:
        friend class Snapshot;
        explicit Reading(const State& state);
        const State& state_;
        const State* outer_;
        const file::PageSnapshot* outerPages_;
    };
    [[nodiscard]] Reading read() const;

private:
    std::unique_ptr<State> state_;
};

}  // namespace jet
