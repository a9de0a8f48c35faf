// What keeping an index costs an UPDATE: grows indexTestV2000's Table1 to N rows in a scratch
// copy, then times the same arithmetic on a Long field without an index (otherfk3) and on one
// under the primary key and a second index (id), each run on its own fresh copy.
//
//   bench_index_update FIXTURE [ROWS]      e.g. ../shared/fixtures/jet4/indexTestV2000.mdb 20000
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/bench_support.h"
#include "jet/database.h"
#include "jet/index/table_indexes.h"
#include "jet/sql/execute.h"
#include "jet/store/table_writer.h"
#include "jet/store/write_context.h"

namespace {

using bench::Clock;
using bench::milliseconds;
using bench::peakMegabytes;
using bench::seconds;

// Appends rows to Table1: unique ids after the four it has, no foreign keys.
void grow(const std::string& path, int rows) {
    auto db = jet::Database::open(path);
    const auto table = db->table("Table1");
    db->write([&](jet::store::WriteContext& ctx) {
        jet::store::TableWriter writer(ctx.file, ctx.format, *table, ctx.codePage);
        jet::index::TableIndexes indexes(ctx.file, ctx.format, *table);
        for (int i = 0; i < rows; ++i) {
            const std::vector<jet::Value> values{std::int32_t{100 + i}, jet::Value{}, jet::Value{},
                                                 std::string("row ") + std::to_string(i),
                                                 std::int32_t{i % 1000}};
            indexes.insertRow(writer.insertRow(values), values);
        }
        writer.adjustRowCount(rows);
        indexes.finish();
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_index_update FIXTURE [ROWS]\n");
        return 2;
    }
    const int rows = argc > 2 ? std::stoi(argv[2]) : 20000;
    const auto dir = std::filesystem::temp_directory_path() / "quillfen-bench";
    std::filesystem::create_directories(dir);
    const std::string grown = (dir / "grown.mdb").string();
    try {
        std::filesystem::copy_file(argv[1], grown,
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::permissions(grown, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
        auto start = Clock::now();
        grow(grown, rows);
        std::printf("grew Table1 by %d rows in %.2f s: %ju bytes\n", rows, seconds(start),
                    static_cast<std::uintmax_t>(std::filesystem::file_size(grown)));
        for (const char* sql : {"UPDATE [Table1] SET [otherfk3] = [otherfk3] + 10",
                                "UPDATE [Table1] SET [id] = [id] + 10"}) {
            const std::string copy = (dir / "run.mdb").string();
            std::filesystem::copy_file(grown, copy,
                                       std::filesystem::copy_options::overwrite_existing);
            auto db = jet::Database::open(copy);
            start = Clock::now();
            const auto affected = jet::sql::execute(*db, sql).rowsAffected.value_or(0);
            std::printf("%-50s %8ju rows %8.3f s\n", sql, static_cast<std::uintmax_t>(affected),
                        seconds(start));
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_index_update: %s\n", e.what());
        return 1;
    }
    return 0;
}
