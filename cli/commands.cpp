#include "cli/commands.h"

#include <fstream>

#include "cli/value_text.h"
#include "jet/database.h"
#include "jet/new_database.h"
#include "jet/sql/csv_import.h"
#include "jet/sql/execute.h"

namespace cli {
namespace {

std::unique_ptr<jet::Database> openDatabase(const std::string& file, const std::string& password) {
    return jet::Database::open(file, jet::OpenOptions{password});
}

void dumpTable(std::ostream& out, const jet::Database& db, const std::string& name) {
    const auto table = db.table(name);
    out << "{\"table\":" << jsonString(table->name) << ",\"columns\":[";
    for (std::size_t i = 0; i < table->columns.size(); ++i) {
        const auto& c = table->columns[i];
        out << (i ? "," : "") << "{\"name\":" << jsonString(c.name) << ",\"type\":\""
            << jet::columnTypeName(c.type) << "\"}";
    }
    out << "]}\n";
    auto cursor = db.scan(table);
    while (cursor.next()) {
        const auto& row = cursor.row();
        out << '[';
        for (std::size_t i = 0; i < row.size(); ++i) out << (i ? "," : "") << toDumpJson(row[i]);
        out << "]\n";
    }
}

void writeCsvRow(std::ostream& out, const std::vector<std::string>& cells) {
    for (std::size_t i = 0; i < cells.size(); ++i) out << (i ? "," : "") << csvField(cells[i]);
    out << "\r\n";
}

void runStatement(std::ostream& out, jet::Database& db, const std::string& statement) {
    // A query's rows are one committed state, read to the end (a write statement converts the
    // lock to its own).
    const auto reading = db.readTransaction();
    const auto outcome = jet::sql::execute(db, statement);
    if (outcome.rowsAffected) {
        out << *outcome.rowsAffected << " row(s) affected.\n";
        return;
    }
    const auto& result = outcome.rows;
    if (!result) return;
    std::vector<std::string> cells;
    for (const auto& c : result->columns()) cells.push_back(c.name);
    writeCsvRow(out, cells);
    while (result->next()) {
        cells.clear();
        for (const auto& v : result->row()) cells.push_back(toCellText(v));
        writeCsvRow(out, cells);
    }
}

// The first 40 characters of a statement on one line, blanks and line breaks run together.
std::string openingOf(const std::string& statement) {
    constexpr std::size_t kShown = 40;
    std::string opening;
    std::size_t characters = 0;
    bool blank = false;
    for (const char c : statement) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            blank = !opening.empty();
            continue;
        }
        const bool starts = (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        if (starts && characters + (blank ? 1 : 0) >= kShown) return opening + "...";
        if (blank) {
            opening += ' ';
            ++characters;
            blank = false;
        }
        opening += c;
        characters += starts ? 1 : 0;
    }
    return opening;
}

}  // namespace

void listTables(std::ostream& out, const std::string& file, const std::string& password, bool all) {
    const auto db = openDatabase(file, password);
    const auto reading = db->readTransaction();
    if (all) {
        for (const auto& row : db->tablesRowset()) out << row.name << '\t' << row.type << '\n';
    } else {
        for (const auto& name : db->userTableNames()) out << name << '\n';
    }
}

void printSchema(std::ostream& out, const std::string& file, const std::string& password,
                 const std::optional<std::string>& table) {
    const auto db = openDatabase(file, password);
    const auto reading = db->readTransaction();
    const std::vector<std::string> names =
        table ? std::vector<std::string>{*table} : db->userTableNames();
    for (const auto& name : names) {
        const auto t = db->table(name);
        out << "TABLE " << t->name << " (" << t->rowCount << " rows)\n";
        for (const auto& c : t->columns) {
            out << "  " << c.name << '\t' << jet::columnTypeName(c.type);
            const auto code = static_cast<std::uint8_t>(c.type);
            if (!jet::isKnownColumnType(code)) out << " (" << int{code} << ')';
            if (c.type == jet::ColumnType::Text || c.type == jet::ColumnType::Binary) {
                out << '(' << c.size << ')';
            }
            if (c.type == jet::ColumnType::Decimal) {
                out << '(' << int(c.precision) << ',' << int(c.scale) << ')';
            }
            out << (c.nullable ? "" : "\tNOT NULL") << (c.autoNumber ? "\tAUTONUMBER" : "")
                << (c.autoGuid ? "\tAUTOGUID" : "") << (c.calculated ? "\tCALCULATED" : "") << '\n';
        }
        for (const auto& ix : t->indexes) {
            out << "  INDEX " << ix.name << " (";
            for (std::size_t i = 0; i < ix.columns.size(); ++i) {
                std::string colName = "#" + std::to_string(ix.columns[i].columnNumber);
                for (const auto& c : t->columns) {
                    if (c.number == ix.columns[i].columnNumber) colName = c.name;
                }
                out << (i ? ", " : "") << colName << (ix.columns[i].ascending ? "" : " DESC");
            }
            out << ')' << (ix.primaryKey() ? " PRIMARY KEY" : "")
                << (ix.foreignKey() ? " FOREIGN KEY" : "") << (ix.unique ? " UNIQUE" : "")
                << (ix.ignoreNulls ? " IGNORE NULLS" : "") << (ix.required ? " REQUIRED" : "")
                << '\n';
        }
    }
}

void dump(std::ostream& out, const std::string& file, const std::string& password,
          const std::optional<std::string>& table) {
    const auto db = openDatabase(file, password);
    // Every table as of one moment: a commit of another connection waits for the dump.
    const auto reading = db->readTransaction();
    if (table) {
        dumpTable(out, *db, *table);
        return;
    }
    for (const auto& name : db->userTableNames()) dumpTable(out, *db, name);
}

void exportCsv(std::ostream& out, const std::string& file, const std::string& password,
               const std::string& tableName) {
    const auto db = openDatabase(file, password);
    const auto reading = db->readTransaction();
    const auto table = db->table(tableName);
    std::vector<std::string> cells;
    for (const auto& c : table->columns) cells.push_back(c.name);
    writeCsvRow(out, cells);
    auto cursor = db->scan(table);
    while (cursor.next()) {
        cells.clear();
        for (const auto& v : cursor.row()) cells.push_back(toCellText(v));
        writeCsvRow(out, cells);
    }
}

void runSql(std::ostream& out, const std::string& file, const std::string& password,
            const std::vector<std::string>& statements, const std::string& script,
            std::size_t fromScript) {
    const auto db = openDatabase(file, password);
    for (std::size_t i = 0; i < statements.size(); ++i) {
        try {
            runStatement(out, *db, statements[i]);
        } catch (const jet::Error& e) {
            // One statement alone needs no more words; in a run, say which one failed and what
            // the run has done, since each statement is committed on its own.
            if (statements.size() == 1 && fromScript == 0) throw;
            const std::string where =
                i < fromScript ? std::to_string(i + 1) + " of '" + script + "'"
                               : std::to_string(i - fromScript + 1) + " of the command line";
            std::string message = "Statement " + where + " (\"" + openingOf(statements[i]) +
                                  "\") failed: " + e.what();
            if (message.back() != '.') message += '.';
            message += " It changed nothing";
            if (i == 1) {
                message += "; the statement before it was committed";
            } else if (i > 1) {
                message += "; the " + std::to_string(i) + " statements before it were committed";
            }
            message += i + 1 < statements.size() ? ", and those after it were not run." : ".";
            throw jet::Error(e.code(), message);
        }
    }
}

void importCsv(std::ostream& out, const std::string& file, const std::string& password,
               const std::string& table, const std::string& csv, const std::string& encoding) {
    const auto db = openDatabase(file, password);
    out << jet::sql::importCsv(*db, table, csv, encoding) << " row(s) imported.\n";
}

std::vector<std::string> scriptStatements(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw jet::Error(jet::ErrorCode::FileNotFound, "Could not find file '" + path + "'.");
    }
    std::vector<std::string> statements;
    std::string current, line;
    char closing = 0;  // the character that ends the quote, bracket or date we are in
    int lineNumber = 0, startLine = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto first = line.find_first_not_of(" \t");
        if (closing == 0 && first != std::string::npos && line.compare(first, 2, "--") == 0) {
            continue;
        }
        if (closing == 0 && current.find_first_not_of(" \t\n") == std::string::npos) {
            startLine = lineNumber;
        }
        for (const char c : line) {
            if (closing != 0) {
                if (c == closing) closing = 0;
            } else if (c == '\'' || c == '"' || c == '#') {
                closing = c;
            } else if (c == '[') {
                closing = ']';
            } else if (c == ';') {
                if (current.find_first_not_of(" \t\n") != std::string::npos) {
                    statements.push_back(current);
                }
                current.clear();
                startLine = lineNumber;
                continue;
            }
            current += c;
        }
        current += '\n';
    }
    if (closing != 0) {
        throw jet::Error(jet::ErrorCode::SyntaxError,
                         "Script '" + path + "' ends inside the statement that starts on line " +
                             std::to_string(startLine) + ": a quote, bracket or # is not closed.");
    }
    if (current.find_first_not_of(" \t\n") != std::string::npos) statements.push_back(current);
    return statements;
}

void createDatabase(const std::string& file, const std::string& format) {
    const auto chosen =
        format.empty() ? jet::newDatabaseFormatFor(file) : jet::newDatabaseFormatNamed(format);
    if (!chosen) {
        throw jet::Error(jet::ErrorCode::Unsupported,
                         "Cannot create '" + file + "': a new database is a .mdb or .accdb file.");
    }
    jet::createDatabase(file, *chosen);
}

}  // namespace cli
