// Importing a large CSV file, then the wizard's new-field sequence, an index made and dropped
// and the table dropped, on the result: the time and the peak memory of each. Table1 of
// compIndexTestV2000 (a Long under a descending index and two Text fields) gets three more fields
// first, so that each record has six.
//
//   bench_import FIXTURE [ROWS]      e.g. ../shared/fixtures/jet4/compIndexTestV2000.mdb 1000000
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

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_import FIXTURE [ROWS]\n");
        return 2;
    }
    const long rows = argc > 2 ? std::stol(argv[2]) : 1000000;
    const auto dir = std::filesystem::temp_directory_path() / "quillfen-bench";
    std::filesystem::create_directories(dir);
    const std::string db = (dir / "import.mdb").string();
    const std::string csv = (dir / "import.csv").string();
    try {
        std::filesystem::copy_file(argv[1], db, std::filesystem::copy_options::overwrite_existing);
        std::filesystem::permissions(db, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
        {
            std::ofstream out(csv, std::ios::binary);
            out << "CD_AGENTE,RS_AGENTE,DC_AGENTE,Price,Qty,Discount\n";
            for (long i = 0; i < rows; ++i) {
                out << 1000000 + i << ",Product " << i % 977 << ",\"Shelf " << i % 31 << ", row "
                    << i % 7 << "\"," << (i % 5000) / 100.0 << ',' << i % 40 << ','
                    << (i % 9) * 0.05 << '\n';
            }
        }
        auto database = jet::Database::open(db);
        for (const char* sql : {"ALTER TABLE [Table1] ADD COLUMN [Price] CURRENCY",
                                "ALTER TABLE [Table1] ADD COLUMN [Qty] INT",
                                "ALTER TABLE [Table1] ADD COLUMN [Discount] DOUBLE"}) {
            jet::sql::execute(*database, sql);
        }
        auto start = Clock::now();
        const auto added = jet::sql::importCsv(*database, "Table1", csv);
        std::printf("import of %ju rows: %.2f s, peak %ld MB, file %ju MB\n",
                    static_cast<std::uintmax_t>(added), seconds(start), peakMegabytes(),
                    static_cast<std::uintmax_t>(std::filesystem::file_size(db) >> 20));
        for (const char* sql :
             {"ALTER TABLE [Table1] ADD COLUMN [Total] INT",
              "update [Table1] set [Total]=[Price]* [Qty]", "ALTER TABLE [Table1] DROP [Total]",
              "UPDATE [Table1] SET [Qty] = [Qty] + 10", "CREATE INDEX [ByQty] ON [Table1] ([Qty])",
              "DROP INDEX [ByQty] ON [Table1]", "DROP TABLE [Table1]"}) {
            start = Clock::now();
            jet::sql::execute(*database, sql);
            std::printf("%-45s %8.2f s, peak %ld MB\n", sql, seconds(start), peakMegabytes());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_import: %s\n", e.what());
        return 1;
    }
    return 0;
}
