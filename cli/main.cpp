// quillfen-db: the Access database engine on the command line.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/check_command.h"
#include "cli/commands.h"
#include "cli/compact_command.h"
#include "cli/convert_command.h"
#include "jet/base/error.h"

int main(int argc, char** argv) {
    CLI::App app{"quillfen-db: read Microsoft Access databases (.mdb, .accdb) and run SQL on them"};
    app.require_subcommand(1);
    std::string file, password, table;
    std::optional<std::string> tableOpt;
    bool all = false;
    std::vector<std::string> statements;

    const auto addCommon = [&](CLI::App* cmd) {
        cmd->add_option("FILE", file, "The database file")->required();
        cmd->add_option("--password", password, "The database password");
    };
    auto* tables =
        app.add_subcommand("tables", "List the user tables, in the order of the tables rowset");
    addCommon(tables);
    tables->add_flag("--all", all, "Every row of the tables rowset, as NAME<TAB>TYPE");
    auto* schema =
        app.add_subcommand("schema", "Show columns and indexes of the user tables or of one table");
    addCommon(schema);
    schema->add_option("TABLE", tableOpt, "Only this table");
    auto* dump =
        app.add_subcommand("dump", "Print every user table (or one) as canonical JSON Lines");
    addCommon(dump);
    dump->add_option("--table", tableOpt, "Only this table");
    auto* exportCmd =
        app.add_subcommand("export", "Write one table as CSV (RFC 4180, with a header row)");
    addCommon(exportCmd);
    exportCmd->add_option("TABLE", table, "The table")->required();
    auto* sql = app.add_subcommand(
        "sql",
        "Run SQL statements in order, each one atomic; a SELECT prints CSV with a header row, "
        "UPDATE, DELETE and INSERT print how many rows they matched; ALTER TABLE prints nothing");
    addCommon(sql);
    std::string script;
    sql->add_option("STATEMENT", statements, "The statements, run in order");
    sql->add_option("--file", script,
                    "Run the statements of this SQL script first: each ends with ';', lines "
                    "starting with -- are comments");
    std::string csvFile;
    auto* importCmd = app.add_subcommand(
        "import",
        "Add the records of a CSV file (its first line names the fields) to a table, "
        "in one atomic write");
    addCommon(importCmd);
    importCmd->add_option("TABLE", table, "The table")->required();
    importCmd->add_option("CSV", csvFile, "The CSV file")->required();
    std::string encoding;
    importCmd->add_option("--encoding", encoding,
                          "The CSV file's encoding when it is not UTF-8, as iconv names it, "
                          "e.g. WINDOWS-1252, ISO-8859-15, UTF-16");
    std::string formatName;
    auto* create = app.add_subcommand(
        "create",
        "Make a new, empty database: a .mdb (Access 2000) or a .accdb (Access 2007 "
        "unless --format says otherwise)");
    create->add_option("FILE", file, "The new database file; it must not exist yet")->required();
    create->add_option("--format", formatName, "2000 (.mdb), or 2007, 2010 or 2016 (.accdb)")
        ->check(CLI::IsMember({"2000", "2007", "2010", "2016"}));
    auto* check =
        app.add_subcommand("check", "Check the file's integrity; exit status 1 when it has faults");
    addCommon(check);
    auto* compactCmd = app.add_subcommand(
        "compact",
        "Compact the database in place (rows rewritten densely, dropped fields no longer "
        "counted, indexes and usage maps rebuilt, free pages at the end cut off); exit status 1 "
        "when faults remain");
    addCommon(compactCmd);

    cli::ConvertRequest conversion;
    auto* convertCmd = app.add_subcommand(
        "convert",
        "Copy the user tables (or those named) into a new SQLite database, or into a script "
        "that makes them in PostgreSQL: fields, keys, indexes, enforced relationships as "
        "foreign keys, AutoNumbers as identities; what could not be carried over as it is, is "
        "listed");
    convertCmd->add_option("FILE", conversion.file, "The database file")->required();
    convertCmd->add_option("--password", conversion.password, "The database password");
    convertCmd->add_option("--to", conversion.target, "sqlite or postgres")
        ->required()
        ->check(CLI::IsMember({"sqlite", "postgres"}));
    convertCmd
        ->add_option("OUT", conversion.output,
                     "The new file (it must not exist): a SQLite database, or a script for "
                     "psql; '-' writes the script to standard output")
        ->required();
    convertCmd->add_option("--tables", conversion.tables, "Only these tables")->expected(1, -1);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "quillfen-db: " << e.what() << '\n';
        return 1;
    }

    std::ios::sync_with_stdio(false);
    int status = 0;
    try {
        if (*tables) cli::listTables(std::cout, file, password, all);
        if (*schema) cli::printSchema(std::cout, file, password, tableOpt);
        if (*dump) cli::dump(std::cout, file, password, tableOpt);
        if (*exportCmd) cli::exportCsv(std::cout, file, password, table);
        if (*sql) {
            std::size_t fromScript = 0;
            if (!script.empty()) {
                auto scripted = cli::scriptStatements(script);
                fromScript = scripted.size();
                statements.insert(statements.begin(), scripted.begin(), scripted.end());
            }
            if (statements.empty()) {
                std::cerr << "quillfen-db: sql: give a STATEMENT or --file SCRIPT\n";
                return 1;
            }
            cli::runSql(std::cout, file, password, statements, script, fromScript);
        }
        if (*importCmd) cli::importCsv(std::cout, file, password, table, csvFile, encoding);
        if (*create) cli::createDatabase(file, formatName);
        if (*convertCmd) {
            // The report goes where the script does not.
            std::ostream& report = conversion.output == "-" ? std::cerr : std::cout;
            cli::runConvert(conversion, report, std::cout, std::cerr, ::isatty(STDERR_FILENO) != 0);
        }
        if (*check) status = cli::runCheck(std::cout, file, password);
        if (*compactCmd) {
            status =
                cli::runCompact(std::cout, std::cerr, ::isatty(STDERR_FILENO) != 0, file, password);
        }
        std::cout.flush();
    } catch (const jet::Error& e) {
        std::cout.flush();
        std::cerr << "quillfen-db: " << e.what() << '\n';
        return 1;
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "quillfen-db: " << e.what() << '\n';
        return 1;
    }
    return std::cout ? status : 1;
}
