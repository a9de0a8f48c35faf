// A connection to one Access database, with the members of ADO's Connection that the windows
// use. Every handler makes its own; connections to one file share one engine instance
// (shared_database.h), so opening one is cheap.
//
//     auto cn = db::CreateObject<db::Connection>("ADODB.Connection");
//     cn->SetMode(db::adModeReadWrite);
//     cn->Open(db::BuildConnectionString());
//     cn->SetCursorLocation(db::adUseClient);
//     cn->Execute("UPDATE [Orders] SET [Price] = [Price] + 10");
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/shared_database.h"

namespace db {

class Recordset;

inline constexpr int adModeUnknown = 0;
inline constexpr int adModeRead = 1;
inline constexpr int adModeWrite = 2;
inline constexpr int adModeReadWrite = 3;

inline constexpr int adUseServer = 2;
inline constexpr int adUseClient = 3;

inline constexpr int adSchemaTables = 20;

inline constexpr int adStateClosed = 0;
inline constexpr int adStateOpen = 1;

// Tests: while one lives, the text of every statement a connection executes is recorded, in
// order, as it reached the engine (also when the engine then refused it).
class ScopedStatementLog {
public:
    ScopedStatementLog();
    ~ScopedStatementLog();
    ScopedStatementLog(const ScopedStatementLog&) = delete;
    ScopedStatementLog& operator=(const ScopedStatementLog&) = delete;
    const std::vector<std::string>& statements() const { return statements_; }

private:
    friend class Connection;
    std::vector<std::string> statements_;
};

// Tests: while one lives, `work` runs inside every Execute, with the statement's text, where
// the engine would call the busy yield (busy_yield.h): a stand-in for a statement that takes
// its time.
class ScopedWorkInExecute {
public:
    explicit ScopedWorkInExecute(std::function<void(const std::string&)> work);
    ~ScopedWorkInExecute();
    ScopedWorkInExecute(const ScopedWorkInExecute&) = delete;
    ScopedWorkInExecute& operator=(const ScopedWorkInExecute&) = delete;

private:
    friend class Connection;
    std::function<void(const std::string&)> work_;
};

class Connection final {
public:
    // adModeRead opens for reading only: statements that would change the database fail.
    // Unknown (the default), Write and ReadWrite open for reading and writing. The share-mode
    // flags are accepted; the engine's own lock keeps writers apart. Set before Open.
    int Mode() const { return mode_; }
    void SetMode(int mode);

    // adUseClient makes recordsets opened on this connection snapshots; adUseServer (the
    // default) reads the database as it is. May be set at any time.
    int CursorLocation() const { return cursorLocation_; }
    void SetCursorLocation(int location);

    // An OLE DB connection string naming the provider "Microsoft.Jet.OLEDB.4.0" or
    // "Microsoft.ACE.OLEDB.12.0" (either serves every format), the "Data Source" and the
    // "Jet OLEDB:Database Password". Another provider fails with 3706.
    void Open(std::string_view connectionString);

    // One statement, as it is; it takes effect at once. The busy yield runs while the engine
    // works (busy_yield.h).
    void Execute(std::string_view statement);

    // adSchemaTables: one row per table, with ADO's columns TABLE_CATALOG, TABLE_SCHEMA,
    // TABLE_NAME, TABLE_TYPE, TABLE_GUID, DESCRIPTION, TABLE_PROPID, DATE_CREATED and
    // DATE_MODIFIED.
    std::shared_ptr<Recordset> OpenSchema(int schema);

    void Close();
    int State() const { return database_ ? adStateOpen : adStateClosed; }

private:
    friend class Recordset;
    // The open database; 3704 when the connection is closed.
    const std::shared_ptr<SharedDatabase>& database() const;
    bool readOnly() const { return (mode_ & 3) == adModeRead; }

    int mode_ = adModeUnknown;
    int cursorLocation_ = adUseServer;
    std::shared_ptr<SharedDatabase> database_;
};

}  // namespace db
