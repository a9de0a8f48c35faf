#include "jet/compact.h"

#include <optional>

#include "jet/ddl/table_rewrite.h"
#include "jet/store/write_context.h"

namespace jet {
namespace {

// Whether the table's columns have gaps in their numbering, or slots of dropped fields, left by
// fields taken out.
bool hasGaps(const TableDef& table) {
    std::uint16_t variable = 0;
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        if (table.columns[i].number != i) return true;
        if (!table.columns[i].fixedLength) ++variable;
    }
    return table.maxColumns != table.columns.size() || table.varColumnCount != variable;
}

}  // namespace

CompactReport compact(Database& db, const std::function<void(const CompactProgress&)>& progress) {
    CompactReport report;
    db.catchUp();
    std::vector<std::shared_ptr<const TableDef>> tables;
    for (const std::string& name : db.userTableNames()) {
        auto table = db.table(name);
        if (const std::string why = ddl::TableRewrite::obstacle(*table); !why.empty()) {
            report.leftAlone.push_back("Table '" + table->name + "': " + why + ".");
            continue;
        }
        tables.push_back(std::move(table));
    }
    db.write([&](store::WriteContext& ctx) {
        report.bytesBefore = ctx.file.sizeInBytes();
        for (const auto& table : tables) {
            CompactProgress step{table->name, 0, std::uint64_t{table->rowCount} * 2};
            const auto tell = [&](std::uint64_t done) {
                step.rowsDone = done;
                step.rowsTotal = std::max(step.rowsTotal, done);
                if (progress) progress(step);
            };
            // Until finish(), nothing has changed: a table this engine cannot write with
            // certainty is left as it was.
            std::optional<ddl::TableRewrite> rewrite;
            try {
                rewrite.emplace(ctx.file, ctx.format, *table, ctx.codePage);
                auto cursor = ctx.scan(*table);
                while (cursor.next()) {
                    rewrite->add(cursor.row());
                    if ((rewrite->rows() & 0x3FF) == 0) tell(rewrite->rows());
                }
            } catch (const Error& e) {
                // A row that cannot be read, or written back as it was read, leaves the
                // table as it is; only a fault of the file system ends the whole work.
                if (e.code() == ErrorCode::Io) throw;
                report.leftAlone.push_back("Table '" + table->name + "': " + e.what());
                continue;
            }
            const std::uint64_t read = rewrite->rows();
            step.rowsTotal = read * 2;
            const bool renumber = hasGaps(*table);
            const auto outcome = rewrite->finish(renumber, [&](std::uint64_t written) {
                if ((written & 0x3FF) == 0) tell(read + written);
            });
            tell(read * 2);
            report.tables.push_back(
                {table->name, read, outcome.pagesBefore, outcome.pagesAfter, renumber});
        }
        report.bytesAfter = ctx.file.sizeInBytes();
    });
    return report;
}

}  // namespace jet
