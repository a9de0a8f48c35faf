#include "db/connection.h"

#include "db/busy_yield.h"
#include "db/connection_string.h"
#include "db/failures.h"
#include "db/recordset.h"
#include "jet/sql/execute.h"

namespace db {
namespace {

constexpr int kAccessBits = 0x3;
constexpr int kShareBits = 0x1C;
constexpr int kRecursive = 0x400000;

bool validMode(int mode) {
    const int share = mode & kShareBits;
    return (mode & ~(kAccessBits | kShareBits | kRecursive)) == 0 &&
           (share == 0 || share == 4 || share == 8 || share == 12 || share == 16);
}

std::vector<jet::sql::ResultColumn> tablesRowsetColumns() {
    using jet::ColumnType;
    return {{"TABLE_CATALOG", ColumnType::Text},    {"TABLE_SCHEMA", ColumnType::Text},
            {"TABLE_NAME", ColumnType::Text},       {"TABLE_TYPE", ColumnType::Text},
            {"TABLE_GUID", ColumnType::GUID},       {"DESCRIPTION", ColumnType::Memo},
            {"TABLE_PROPID", ColumnType::Long},     {"DATE_CREATED", ColumnType::DateTime},
            {"DATE_MODIFIED", ColumnType::DateTime}};
}

}  // namespace

void Connection::SetMode(int mode) {
    if (database_) throw adoFailure(kObjectOpen);
    if (!validMode(mode)) throw adoFailure(kBadArguments);
    mode_ = mode;
}

void Connection::SetCursorLocation(int location) {
    if (location != adUseServer && location != adUseClient) throw adoFailure(kBadArguments);
    cursorLocation_ = location;
}

void Connection::Open(std::string_view connectionString) {
    if (database_) throw adoFailure(kObjectOpen);
    const ConnectionSettings settings = parseConnectionString(connectionString);
    if (!isEngineProvider(settings.provider)) throw adoFailure(kProviderNotFound);
    database_ = openSharedDatabase(settings.dataSource, settings.password, !readOnly());
}

namespace {
ScopedStatementLog* statementLog = nullptr;
ScopedWorkInExecute* workInExecute = nullptr;
}  // namespace

ScopedStatementLog::ScopedStatementLog() { statementLog = this; }
ScopedStatementLog::~ScopedStatementLog() { statementLog = nullptr; }

ScopedWorkInExecute::ScopedWorkInExecute(std::function<void(const std::string&)> work)
    : work_(std::move(work)) {
    workInExecute = this;
}
ScopedWorkInExecute::~ScopedWorkInExecute() { workInExecute = nullptr; }

void Connection::Execute(std::string_view statement) {
    jet::Database& db = database()->database();
    if (statementLog != nullptr) statementLog->statements_.emplace_back(statement);
    const BusyYielding yielding(db);
    if (workInExecute != nullptr) workInExecute->work_(std::string(statement));
    translatingEngineErrors([&] {
        // A connection opened for reading may share a writable instance; it must still refuse
        // to write, which the engine's query does in so many words.
        if (readOnly()) {
            jet::sql::query(db, statement);
        } else {
            jet::sql::execute(db, statement);
        }
    });
}

std::shared_ptr<Recordset> Connection::OpenSchema(int schema) {
    const auto& shared = database();
    if (schema != adSchemaTables) {
        throw app::Failure(kFeatureNotAvailable, "The provider cannot open schema " +
                                                     std::to_string(schema) +
                                                     "; it opens only the tables rowset (" +
                                                     std::to_string(adSchemaTables) + ").");
    }
    ReadView view(shared, ReadView::Moment::Live);
    std::vector<Row> rows;
    view([&](const jet::Database& db) {
        for (const auto& table : db.tablesRowset()) {
            Row row(9, jet::Null{});
            row[2] = table.name;
            row[3] = table.type;
            rows.push_back(std::move(row));
        }
    });
    auto recordset = std::make_shared<Recordset>();
    recordset->open(std::move(view), rowsInMemory(tablesRowsetColumns(), std::move(rows)));
    return recordset;
}

void Connection::Close() {
    if (!database_) throw adoFailure(kObjectClosed);
    database_.reset();
}

const std::shared_ptr<SharedDatabase>& Connection::database() const {
    if (!database_) throw adoFailure(kObjectClosed);
    return database_;
}

}  // namespace db
