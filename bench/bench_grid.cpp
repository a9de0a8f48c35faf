// The preview grid on a large table: how long a client-side recordset takes to open and the
// grid to show its first screen, and the memory that costs; then an UPDATE of every row through
// another connection while the grid stays bound, and scrolling the grid afterwards.
//
//   bench_grid [ROWS]      (1000000 by default; the table is built in the temp folder)
//
// With --file, only the first screen, on a table of an existing database, in one line that
// bench/run.mjs reads:
//
//   bench_grid --file PATH --table NAME [--password P]
//   first-screen-ms 6.3 open-ms 2.1 rows-read 256 peak-mb 29
//
// first-screen-ms runs from opening the connection to the painted grid; open-ms is the part
// spent opening the connection and the recordset.
#include <QApplication>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/controls/data_grid.h"
#include "bench/bench_support.h"
#include "bench/grid_screen.h"
#include "db/ascii.h"
#include "db/connection.h"
#include "db/objects.h"
#include "db/recordset.h"
#include "jet/database.h"
#include "jet/new_database.h"
#include "jet/sql/csv_import.h"
#include "jet/sql/execute.h"

namespace {

using bench::Clock;
using bench::milliseconds;
using bench::peakMegabytes;
using bench::seconds;

std::string buildTable(const std::filesystem::path& dir, long rows) {
    const std::string db = (dir / "grid.mdb").string();
    const std::string csv = (dir / "grid.csv").string();
    std::filesystem::remove(db);
    jet::createDatabase(db, jet::NewDatabaseFormat::Access2000);
    {
        std::ofstream out(csv, std::ios::binary);
        out << "Id,Product,Price,Qty\n";
        for (long i = 0; i < rows; ++i) {
            out << i + 1 << ",Product " << i % 977 << ',' << (i % 5000) / 100.0 << ',' << i % 40
                << '\n';
        }
    }
    auto database = jet::Database::open(db);
    jet::sql::execute(*database,
                      "CREATE TABLE [Orders] ([Id] LONG, [Product] TEXT(50), [Price] CURRENCY, "
                      "[Qty] INT)");
    jet::sql::importCsv(*database, "Orders", csv);
    std::filesystem::remove(csv);
    return db;
}

// The wizard's connection string for `path`: the ACE provider when the path ends in "accdb" in
// any case, Jet otherwise.
std::string connectionString(const std::string& path, const std::string& password) {
    const bool accdb = path.size() >= 5 && db::lowerAscii(path.substr(path.size() - 5)) == "accdb";
    return std::string(accdb ? "Provider=Microsoft.ACE.OLEDB.12.0"
                             : "PROVIDER=Microsoft.Jet.OLEDB.4.0") +
           ";Data Source=" + path + ";JET OLEDB:Database Password=" + password;
}

// Opens `table` of the database at `path` as the field step does (a read-write connection, a
// client-side static recordset), binds a shown grid to it and paints the grid's first screen.
int firstScreen(const std::string& path, const std::string& table, const std::string& password) {
    app::DataGrid grid;
    grid.resize(800, 600);
    grid.show();
    bench::warmUpPainting();

    const auto start = Clock::now();
    auto cn = db::CreateObject<db::Connection>("ADODB.Connection");
    auto rs = db::CreateObject<db::Recordset>("ADODB.recordset");
    cn->SetMode(db::adModeReadWrite);
    cn->Open(connectionString(path, password));
    cn->SetCursorLocation(db::adUseClient);
    rs->Open("SELECT * FROM [" + table + "];", *cn, db::adOpenStatic, db::adLockOptimistic);
    const double opened = milliseconds(start);
    grid.SetDataSource(rs->DataSource());
    const int rowsRead = bench::paintFirstScreen(grid);
    const double shown = milliseconds(start);
    // A first screen without rows measures nothing.
    if (rowsRead == 0) {
        std::fprintf(stderr, "bench_grid: the grid read no rows of %s\n", table.c_str());
        return 1;
    }
    std::printf("first-screen-ms %.1f open-ms %.1f rows-read %d peak-mb %ld\n", shown, opened,
                rowsRead, peakMegabytes());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc > 1 && std::string(argv[1]).starts_with("--")) {
        std::string path;
        std::string table;
        std::string password;
        if (!bench::readOptions(
                argc, argv, 1,
                {{"--file", &path}, {"--table", &table}, {"--password", &password}})) {
            std::fprintf(stderr,
                         "usage: bench_grid [ROWS]\n"
                         "       bench_grid --file PATH --table NAME [--password P]\n");
            return 2;
        }
        if (path.empty() || table.empty()) {
            std::fprintf(stderr, "bench_grid: --file and --table are both needed\n");
            return 2;
        }
        try {
            return firstScreen(path, table, password);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bench_grid: %s\n", e.what());
            return 1;
        }
    }
    const long rows = argc > 1 ? std::stol(argv[1]) : 1000000;
    const auto dir = std::filesystem::temp_directory_path() / "quillfen-bench";
    std::filesystem::create_directories(dir);
    try {
        const std::string path = buildTable(dir, rows);
        const std::string connection = "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=" + path +
                                       ";JET OLEDB:Database Password=";
        const long before = peakMegabytes();
        std::printf("table of %ld rows built; peak so far %ld MB\n", rows, before);

        app::DataGrid grid;
        grid.resize(800, 600);
        grid.show();
        auto start = Clock::now();
        {
            auto cn = db::CreateObject<db::Connection>("ADODB.Connection");
            auto rs = db::CreateObject<db::Recordset>("ADODB.recordset");
            cn->SetMode(db::adModeReadWrite);
            cn->Open(connection);
            cn->SetCursorLocation(db::adUseClient);
            rs->Open("SELECT * FROM [Orders];", *cn, db::adOpenStatic, db::adLockOptimistic);
            grid.SetDataSource(rs->DataSource());
        }
        // The view asks for rows when it lays itself out and paints.
        for (int i = 0; i < 100 && grid.model()->rowCount() == 0; ++i) {
            grid.viewport()->repaint();
            QApplication::processEvents();
        }
        const auto shown = grid.model()->rowCount();
        std::printf("open and first screen: %.1f ms (%d rows read), peak %ld MB\n",
                    milliseconds(start), shown, peakMegabytes());

        start = Clock::now();
        {
            auto cn = db::CreateObject<db::Connection>("ADODB.Connection");
            cn->SetMode(db::adModeReadWrite);
            cn->Open(connection);
            cn->Execute("UPDATE [Orders] SET [Qty] = [Qty] + 10");
        }
        std::printf("UPDATE of every row under the bound grid: %.0f ms, peak %ld MB\n",
                    milliseconds(start), peakMegabytes());

        start = Clock::now();
        for (int i = 0; i < 40; ++i) {
            grid.scrollToBottom();
            QApplication::processEvents();
        }
        std::printf("40 scrolls to the bottom: %.0f ms, %d rows read, peak %ld MB\n",
                    milliseconds(start), grid.model()->rowCount(), peakMegabytes());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_grid: %s\n", e.what());
        return 1;
    }
    return 0;
}
