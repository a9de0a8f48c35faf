// The SQLite database is built in a temporary file beside the one asked for, with SQLite's
// journal off (nothing else has the file until it is linked under its name).
#include <sqlite3.h>
#include <unistd.h>

#include <cmath>

#include "cli/convert_writers.h"
#include "jet/base/overloaded.h"

namespace cli::convert {
namespace {

class SqliteWriter : public Writer {
public:
    SqliteWriter(const Plan& plan, std::string path) : plan_(plan), path_(std::move(path)) {
        refuseExisting(path_);
        temp_ = temporaryBeside(path_);
        try {
            if (sqlite3_open_v2(temp_.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
                fail("open");
            }
            // The temporary file is nobody's until it is linked: a crash leaves only it behind.
            exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN;");
            for (const auto& t : plan_.tables) createTable(t);
        } catch (...) {
            discard();
            throw;
        }
    }

    ~SqliteWriter() override { discard(); }

    void beginTable(const PlannedTable& t) override {
        if (insert_ != nullptr) sqlite3_finalize(insert_);
        insert_ = nullptr;
        std::string sql = "INSERT INTO " + quoted(t.name) + " VALUES (";
        for (std::size_t i = 0; i < t.columns.size(); ++i) sql += i ? ", ?" : "?";
        sql += ")";
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &insert_, nullptr) != SQLITE_OK) {
            fail("prepare the rows of table '" + t.name + "' in");
        }
    }

    void row(const PlannedTable& t, const std::vector<jet::Value>& values) override {
        for (std::size_t i = 0; i < t.columns.size(); ++i) bind(t, i, values[i]);
        if (sqlite3_step(insert_) != SQLITE_DONE) {
            fail("add a record of table '" + t.def->name + "' to");
        }
        sqlite3_reset(insert_);
    }

    void endTable(const PlannedTable& t, std::int64_t nextIdentity) override {
        if (!t.identity) return;
        // AUTOINCREMENT goes on after the largest number sqlite_sequence holds.
        sqlite3_stmt* s = nullptr;
        const char* sql =
            "DELETE FROM sqlite_sequence WHERE name = ?1; "
            "INSERT INTO sqlite_sequence (name, seq) VALUES (?1, ?2);";
        const char* rest = sql;
        while (*rest != '\0') {
            if (sqlite3_prepare_v2(db_, rest, -1, &s, &rest) != SQLITE_OK) fail("number");
            if (s == nullptr) break;
            sqlite3_bind_text(s, 1, t.name.data(), static_cast<int>(t.name.size()),
                              SQLITE_TRANSIENT);
            if (sqlite3_bind_parameter_count(s) >= 2) sqlite3_bind_int64(s, 2, nextIdentity - 1);
            const int rc = sqlite3_step(s);
            sqlite3_finalize(s);
            if (rc != SQLITE_DONE) fail("set the next AutoNumber of table '" + t.name + "' in");
        }
    }

    void finish() override {
        if (insert_ != nullptr) sqlite3_finalize(insert_);
        insert_ = nullptr;
        for (const auto& t : plan_.tables) {
            for (const auto& ix : t.indexes) {
                if (!ix.primaryKey) exec(createIndex(t, ix));
            }
        }
        exec("COMMIT");
        if (sqlite3_close(db_) != SQLITE_OK) fail("close");
        db_ = nullptr;
        publish(temp_, path_);
        temp_.clear();
    }

private:
    void discard() {
        if (insert_ != nullptr) sqlite3_finalize(insert_);
        insert_ = nullptr;
        if (db_ != nullptr) sqlite3_close(db_);
        db_ = nullptr;
        if (!temp_.empty()) discardTemporary(temp_);
        temp_.clear();
    }

    [[noreturn]] void fail(const std::string& what) {
        const std::string why = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
        throw jet::Error(jet::ErrorCode::Io, "Could not " + what + " the SQLite database '" +
                                                 path_ + "': " + why + ".");
    }

    void exec(const std::string& sql) {
        char* message = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string why = message != nullptr ? message : "unknown error";
            sqlite3_free(message);
            throw jet::Error(jet::ErrorCode::Io, "Could not write the SQLite database '" + path_ +
                                                     "': " + why + " (in: " + sql + ").");
        }
    }

    void createTable(const PlannedTable& t) {
        std::string sql = "CREATE TABLE " + quoted(t.name) + " (";
        for (std::size_t i = 0; i < t.columns.size(); ++i) {
            const auto& c = t.columns[i];
            sql += (i ? ",\n    " : "\n    ") + quoted(c.name) + " ";
            if (c.identity) {
                sql += "INTEGER PRIMARY KEY AUTOINCREMENT";
                continue;
            }
            sql += columnType(Target::SQLite, *c.source);
            if (c.notNull) sql += " NOT NULL";
            // A new record's Yes/No is No in Access unless it is given.
            if (c.source->type == jet::ColumnType::YesNo) sql += " DEFAULT 0";
        }
        for (const auto& ix : t.indexes) {
            if (!ix.primaryKey || t.identity) continue;
            sql += ",\n    CONSTRAINT " + quoted(ix.name) + " PRIMARY KEY (" +
                   columnList(t, indexColumns(ix)) + ")";
        }
        for (const auto& key : plan_.foreignKeys) {
            if (&plan_.tables[key.table] == &t) sql += ",\n    " + foreignKeyClause(plan_, key);
        }
        exec(sql + "\n)");
    }

    void bind(const PlannedTable& t, std::size_t i, const jet::Value& value) {
        const int at = static_cast<int>(i) + 1;
        const auto text = [&](const std::string& s) {
            return sqlite3_bind_text(insert_, at, s.data(), static_cast<int>(s.size()),
                                     SQLITE_TRANSIENT);
        };
        const auto real = [&](double d) {
            if (std::isnan(d)) {
                throw jet::Error(jet::ErrorCode::Unsupported,
                                 "Field '" + t.columns[i].source->name + "' of table '" +
                                     t.def->name + "' holds NaN, which SQLite cannot store.");
            }
            return sqlite3_bind_double(insert_, at, d);
        };
        const int rc =
            std::visit(jet::Overloaded{
                           [&](const jet::Null&) { return sqlite3_bind_null(insert_, at); },
                           [&](bool b) { return sqlite3_bind_int(insert_, at, b ? 1 : 0); },
                           [&](std::uint8_t x) { return sqlite3_bind_int(insert_, at, x); },
                           [&](std::int16_t x) { return sqlite3_bind_int(insert_, at, x); },
                           [&](std::int32_t x) { return sqlite3_bind_int(insert_, at, x); },
                           [&](std::int64_t x) { return sqlite3_bind_int64(insert_, at, x); },
                           [&](jet::Currency x) { return text(jet::formatCurrency(x)); },
                           [&](float x) { return real(x); },
                           [&](double x) { return real(x); },
                           [&](jet::DateTime x) { return text(dateText(x)); },
                           [&](const jet::DateTimeExtended& x) { return text(dateText(x)); },
                           [&](const jet::Decimal& x) { return text(jet::formatDecimal(x)); },
                           [&](const jet::Guid& x) { return text(jet::formatGuid(x)); },
                           [&](jet::ComplexId x) { return sqlite3_bind_int(insert_, at, x.id); },
                           [&](const std::string& s) { return text(s); },
                           [&](const jet::Bytes& b) {
                               // A null pointer would bind Null: an empty value is a zero-length
                               // blob.
                               return b.empty() ? sqlite3_bind_zeroblob(insert_, at, 0)
                                                : sqlite3_bind_blob(insert_, at, b.data(),
                                                                    static_cast<int>(b.size()),
                                                                    SQLITE_TRANSIENT);
                           },
                       },
                       value);
        if (rc != SQLITE_OK) fail("add a record of table '" + t.def->name + "' to");
    }

    const Plan& plan_;
    std::string path_;
    std::string temp_;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
};

}  // namespace

std::unique_ptr<Writer> sqliteWriter(const Plan& plan, const std::string& path) {
    return std::make_unique<SqliteWriter>(plan, path);
}

}  // namespace cli::convert
