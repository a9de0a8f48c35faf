#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/convert_writers.h"

namespace cli::convert {
namespace {

// The temporary files being written, for the signal handler: Ctrl-C, a hang-up or a kill that
// can be caught takes them along. (Only SIGKILL or a crash leaves one behind, under a name that
// says what it is.)
constexpr std::size_t kTemporaries = 4;
char temporaries[kTemporaries][4096];
volatile sig_atomic_t inUse[kTemporaries];

extern "C" void removeTemporaries(int signal) {
    for (std::size_t i = 0; i < kTemporaries; ++i) {
        if (inUse[i]) ::unlink(temporaries[i]);
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

void remember(const std::string& temp) {
    static const bool handled = [] {
        struct sigaction action {};
        action.sa_handler = removeTemporaries;
        sigemptyset(&action.sa_mask);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
            ::sigaction(signal, &action, nullptr);
        }
        return true;
    }();
    (void)handled;
    for (std::size_t i = 0; i < kTemporaries; ++i) {
        if (!inUse[i] && temp.size() < sizeof temporaries[i]) {
            std::memcpy(temporaries[i], temp.c_str(), temp.size() + 1);
            inUse[i] = 1;
            return;
        }
    }
}

void forget(const std::string& temp) {
    for (std::size_t i = 0; i < kTemporaries; ++i) {
        if (inUse[i] && temp == temporaries[i]) inUse[i] = 0;
    }
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

[[noreturn]] void ioFailure(const std::string& what, const std::string& path) {
    throw jet::Error(jet::ErrorCode::Io,
                     "Could not " + what + " '" + path + "': " + std::strerror(errno) + ".");
}

}  // namespace

std::string columnType(Target target, const jet::ColumnDef& c) {
    using jet::ColumnType;
    const bool postgres = target == Target::PostgreSQL;
    switch (c.type) {
        case ColumnType::YesNo:
            return postgres ? "boolean" : "BOOLEAN";
        case ColumnType::Byte:
        case ColumnType::Integer:
            return postgres ? "smallint" : "INTEGER";
        case ColumnType::Long:
        case ColumnType::Complex:
            return postgres ? "integer" : "INTEGER";
        case ColumnType::BigInt:
            return postgres ? "bigint" : "INTEGER";
        // SQLite has no exact decimal type: a NUMERIC column would turn the digits into a
        // binary fraction. The text holds them exactly.
        case ColumnType::Currency:
            return postgres ? "numeric(19,4)" : "TEXT";
        case ColumnType::Decimal:
            if (!postgres) return "TEXT";
            // A calculated field's definition gives no precision for its result.
            if (c.precision == 0 || c.calculated) return "numeric";
            return "numeric(" + std::to_string(c.precision) + "," +
                   std::to_string(std::min(c.scale, c.precision)) + ")";
        case ColumnType::Single:
            return postgres ? "real" : "REAL";
        case ColumnType::Double:
            return postgres ? "double precision" : "REAL";
        case ColumnType::DateTime:
            return postgres ? "timestamp(0) without time zone" : "DATETIME";
        // PostgreSQL's timestamps stop at the microsecond; these keep 100 ns. The text sorts
        // as the times do, and ::timestamp reads it.
        case ColumnType::DateTimeExtended:
            return postgres ? "varchar(27)" : "DATETIME";
        case ColumnType::Text: {
            // The definition counts bytes: two a character from Jet 4 on.
            const int characters = std::max(c.jet3 ? c.size : c.size / 2, 1);
            return (postgres ? "varchar(" : "VARCHAR(") + std::to_string(characters) + ")";
        }
        case ColumnType::Memo:
            return postgres ? "text" : "TEXT";
        case ColumnType::GUID:
            return postgres ? "uuid" : "TEXT";
        default:
            return postgres ? "bytea" : "BLOB";  // Binary, OLE, and types not known
    }
}

std::string columnList(const PlannedTable& t, const std::vector<std::size_t>& columns) {
    std::string out;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        out += (i ? ", " : "") + quoted(t.columns[columns[i]].name);
    }
    return out;
}

std::vector<std::size_t> indexColumns(const PlannedIndex& index) {
    std::vector<std::size_t> columns;
    for (const auto& [c, ascending] : index.columns) columns.push_back(c);
    return columns;
}

std::string createIndex(const PlannedTable& t, const PlannedIndex& ix) {
    std::string sql = std::string("CREATE ") + (ix.unique ? "UNIQUE " : "") + "INDEX " +
                      quoted(ix.name) + " ON " + quoted(t.name) + " (";
    for (std::size_t i = 0; i < ix.columns.size(); ++i) {
        sql += (i ? ", " : "") + quoted(t.columns[ix.columns[i].first].name) +
               (ix.columns[i].second ? "" : " DESC");
    }
    return sql + ")";
}

std::string foreignKeyClause(const Plan& plan, const PlannedForeignKey& key) {
    const auto& from = plan.tables[key.table];
    const auto& to = plan.tables[key.referencedTable];
    std::string sql = "CONSTRAINT " + quoted(key.name) + " FOREIGN KEY (" +
                      columnList(from, key.columns) + ") REFERENCES " + quoted(to.name) + " (" +
                      columnList(to, key.referencedColumns) + ")";
    if (key.cascadeUpdates) sql += " ON UPDATE CASCADE";
    if (key.cascadeDeletes) {
        sql += " ON DELETE CASCADE";
    } else if (key.cascadeNulls) {
        sql += " ON DELETE SET NULL";
    }
    return sql;
}

void refuseExisting(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        throw jet::Error(jet::ErrorCode::FileExists,
                         "'" + path +
                             "' already exists; convert writes a new file and changes "
                             "none that is there.");
    }
}

std::string temporaryBeside(const std::string& path) {
    std::string temp = path + ".quillfen-partial-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) ioFailure("make a temporary file beside", path);
    // mkstemp makes the file its owner's alone; the output gets what any new file gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    remember(temp);
    return temp;
}

void discardTemporary(const std::string& temp) {
    ::unlink(temp.c_str());
    forget(temp);
}

void publish(const std::string& temp, const std::string& path) {
    const int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) ioFailure("write", temp);
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    if (!synced) ioFailure("write", temp);
    // link() never replaces what is there; on a file system without hard links, a rename that
    // does not replace either.
    bool linked = ::link(temp.c_str(), path.c_str()) == 0;
    if (!linked && (errno == EPERM || errno == EOPNOTSUPP || errno == EXDEV)) {
        if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) {
            linked = true;
        }
    }
    if (!linked) {
        if (errno == EEXIST) {
            throw jet::Error(jet::ErrorCode::FileExists,
                             "'" + path +
                                 "' appeared while the database was converted; it was "
                                 "left as it is.");
        }
        ioFailure("write", path);
    }
    discardTemporary(temp);
    const int dir = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace cli::convert
