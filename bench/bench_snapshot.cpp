// What a snapshot costs. An empty Jet 4 database gets a table of N rows by CSV import; then,
// each on its own copy: the first 50 rows read with and without a snapshot, and an UPDATE of
// every row with no snapshot open and with one open under a grid that has read its first rows,
// with the time, the peak memory and what the snapshot held; last, that grid read to its end.
// BUDGET_MB sets the snapshot's memory budget (the engine's default when left out).
//
//   bench_snapshot EMPTY_JET4 [ROWS [BUDGET_MB]]   e.g. ../shared/fixtures/jet4/empty2000.mdb
//   1000000
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/bench_support.h"
#include "jet/database.h"
#include "jet/sql/csv_import.h"
#include "jet/sql/execute.h"

namespace {

using bench::Clock;
using bench::milliseconds;
using bench::peakMegabytes;
using bench::seconds;

std::string copyOf(const std::string& from, const std::filesystem::path& to) {
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(to, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    return to.string();
}

std::size_t readRows(jet::sql::ResultSet& rows, std::size_t limit) {
    std::size_t n = 0;
    while (n < limit && rows.next()) ++n;
    return n;
}

constexpr const char* kSelect = "SELECT * FROM [Items];";
constexpr const char* kUpdate = "UPDATE [Items] SET [Amount] = [Amount] * 2 + 1";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_snapshot EMPTY_JET4 [ROWS [BUDGET_MB]]\n");
        return 2;
    }
    const long rows = argc > 2 ? std::stol(argv[2]) : 1000000;
    const long budget = argc > 3 ? std::stol(argv[3]) : -1;
    const auto dir = std::filesystem::temp_directory_path() / "quillfen-bench";
    std::filesystem::create_directories(dir);
    const std::string csv = (dir / "snapshot.csv").string();
    try {
        const std::string table = copyOf(argv[1], dir / "snapshot.mdb");
        {
            std::ofstream out(csv, std::ios::binary);
            out << "Id,Name,Amount,Qty\n";
            for (long i = 0; i < rows; ++i) {
                out << i << ",Product " << i % 977 << ',' << (i % 5000) / 100.0 << ',' << i % 40
                    << '\n';
            }
        }
        {
            auto db = jet::Database::open(table);
            jet::sql::execute(*db,
                              "CREATE TABLE [Items] ([Id] INT, [Name] TEXT(40), [Amount] DOUBLE, "
                              "[Qty] INT)");
            const auto start = Clock::now();
            jet::sql::importCsv(*db, "Items", csv);
            std::printf("table of %ld rows made in %.0f ms: %ju MB, peak %ld MB\n", rows,
                        milliseconds(start),
                        static_cast<std::uintmax_t>(std::filesystem::file_size(table) >> 20),
                        peakMegabytes());
        }
        {
            auto db = jet::Database::open(table);
            auto start = Clock::now();
            readRows(*jet::sql::query(*db, kSelect), 50);
            std::printf("first 50 rows, no snapshot:             %8.2f ms\n", milliseconds(start));
            start = Clock::now();
            const auto snapshot = db->takeSnapshot();
            const auto reading = snapshot->read();
            readRows(*jet::sql::query(*db, kSelect), 50);
            std::printf("snapshot taken, first 50 rows read:     %8.2f ms\n", milliseconds(start));
        }
        {
            auto db = jet::Database::open(copyOf(table, dir / "plain.mdb"));
            const auto start = Clock::now();
            jet::sql::execute(*db, kUpdate);
            std::printf("UPDATE of every row, no snapshot:       %8.0f ms, peak %ld MB\n",
                        milliseconds(start), peakMegabytes());
        }
        {
            auto db = jet::Database::open(copyOf(table, dir / "viewed.mdb"));
            if (budget >= 0) db->setSnapshotMemoryBudget(static_cast<std::size_t>(budget) << 20);
            const auto snapshot = db->takeSnapshot();
            std::unique_ptr<jet::sql::ResultSet> grid;
            {
                const auto reading = snapshot->read();
                grid = jet::sql::query(*db, kSelect);
                readRows(*grid, 50);
            }
            auto start = Clock::now();
            jet::sql::execute(*db, kUpdate);
            const jet::SnapshotUsage held = db->snapshotUsage();
            std::printf(
                "UPDATE of every row, snapshot open:     %8.0f ms, peak %ld MB; "
                "%zu pages kept, %ju MB in memory, %ju MB in the temporary file\n",
                milliseconds(start), peakMegabytes(), held.pages,
                static_cast<std::uintmax_t>(held.bytesInMemory >> 20),
                static_cast<std::uintmax_t>(held.bytesInTempFile >> 20));
            start = Clock::now();
            const auto reading = snapshot->read();
            const std::size_t read = 50 + readRows(*grid, SIZE_MAX);
            std::printf("the snapshot's grid read to its end:    %8.0f ms, %zu rows, peak %ld MB\n",
                        milliseconds(start), read, peakMegabytes());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_snapshot: %s\n", e.what());
        return 1;
    }
    return 0;
}
