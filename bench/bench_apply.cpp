// Apply in the constant window, end to end: the UPDATE the window builds for "add a constant to
// a field", run through the data-access component with the calls the window makes, and the
// refreshed grid's first screen; beside it the same statement through the engine alone, as
// `quillfen-db sql` runs it. Each works on a fresh copy of the database, made and synced before
// its clock starts; the file named is never changed.
//
//   bench_apply --file PATH --table NAME --field NAME --constant TEXT [--password P]
//               [--only apply|statement]
//   apply-ms 812.4 statement-ms 640.2 ratio 1.27 rows-read 256 peak-mb 41
//
// apply-ms runs from the click (the handler making its connection) to the painted grid, with
// the window as Apply finds it: its grid showing the preview it loaded, whose snapshot stays
// open while the statement runs. statement-ms runs from opening the file to closing it after
// the commit. The peak is the process's; --only measures one of the two, for a peak of its own.
// TEXT is read as the window reads its text box, in the locale of the environment.
#include <unistd.h>

#include <QApplication>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "app/controls/data_grid.h"
#include "app/controls/events.h"
#include "bench/bench_support.h"
#include "bench/grid_screen.h"
#include "core/globals.h"
#include "db/access.h"
#include "db/busy_yield.h"
#include "db/connection.h"
#include "db/objects.h"
#include "db/recordset.h"
#include "jet/base/names.h"
#include "jet/database.h"
#include "jet/sql/execute.h"
#include "math/constant_number.h"
#include "math/math_operation.h"

namespace {

namespace fs = std::filesystem;
using bench::Clock;
using bench::milliseconds;
using bench::peakMegabytes;

struct Options {
    std::string path;
    std::string table;
    std::string field;
    std::string constant;
    std::string password;
    std::string only;
};

// The window's statement for one field item and the Add operation.
std::string addStatement(const std::string& table, const std::string& item, double number) {
    return "UPDATE [" + table + "] SET " + item + " = " + item +
           app::constantOperatorText(app::MathOperation::Add) + app::sqlNumber(number);
}

// A copy of `path` in `dir`, on disk.
std::string freshCopy(const std::string& path, const fs::path& dir, const char* name) {
    const fs::path copy = dir / (name + fs::path(path).extension().string());
    fs::copy_file(path, copy, fs::copy_options::overwrite_existing);
    ::sync();
    return copy.string();
}

double numberOf(const jet::Value& value) {
    return std::visit(
        [](const auto& v) -> double {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, jet::Currency>) {
                return static_cast<double>(v.scaled) / 10000.0;
            } else if constexpr (std::is_same_v<T, jet::Decimal>) {
                return std::stod(jet::formatDecimal(v));
            } else if constexpr (std::is_arithmetic_v<T>) {
                return static_cast<double>(v);
            } else {
                throw std::runtime_error("the field holds no numbers");
            }
        },
        value);
}

struct Totals {
    double sum = 0;
    double rows = 0;
};

// The field's sum and the table's rows, read through the engine.
Totals totalsOf(const std::string& path, const Options& options) {
    jet::OpenOptions open;
    open.password = options.password;
    open.writable = false;
    const auto database = jet::Database::open(path, open);
    const auto reading = database->readTransaction();
    const auto table = database->table(options.table);
    std::size_t column = 0;
    while (column < table->columns.size() &&
           !jet::namesEqual(table->columns[column].name, options.field)) {
        ++column;
    }
    if (column == table->columns.size()) {
        throw std::runtime_error("no field " + options.field + " in " + options.table);
    }
    Totals totals;
    auto cursor = database->scan(table);
    while (cursor.next()) {
        const jet::Value& value = cursor.row()[column];
        if (!jet::isNull(value)) totals.sum += numberOf(value);
        totals.rows += 1;
    }
    return totals;
}

// The constant added to every row, as far as a field that rounds (a whole number, a currency)
// lets a sum tell.
void checkAdded(const char* what, const Totals& before, const Totals& after, double number) {
    const double expected = before.sum + number * before.rows;
    const double slack = 0.5 * before.rows + 1e-9 * std::fabs(expected);
    if (std::fabs(after.sum - expected) > slack) {
        throw std::runtime_error(std::string(what) + " left the field's sum at " +
                                 std::to_string(after.sum) + ", not about " +
                                 std::to_string(expected));
    }
}

struct ApplyFigures {
    double ms = 0;
    int rowsRead = 0;
};

// The window as Apply finds it: the preview loaded as the window's load does it, its first
// screen shown, the load's objects gone and the grid still bound to the preview's rows.
void loadPreview(app::DataGrid& grid) {
    auto cn = db::CreateObject<db::Connection>("ADODB.Connection");
    auto rs = db::CreateObject<db::Recordset>("ADODB.RecordSet");
    cn->SetMode(db::adModeReadWrite);
    cn->Open(db::BuildConnectionString());
    grid.SetDataSource(nullptr);
    cn->SetCursorLocation(db::adUseClient);
    rs->Open(app::previewQuery(app::Globals::wizard().SelectedTable), *cn, db::adOpenStatic,
             db::adLockOptimistic);
    grid.SetDataSource(rs->DataSource());
    if (bench::paintFirstScreen(grid) == 0) throw std::runtime_error("the preview showed no rows");
}

// The click: the handler's database calls in its order, each field item's statement built as
// the window builds it, then the refresh; the clock stops at the painted first screen.
ApplyFigures apply(app::DataGrid& grid, const std::string& constantText) {
    ApplyFigures figures;
    const auto start = Clock::now();
    {
        auto cn = db::CreateObject<db::Connection>("ADODB.Connection");
        auto rs = db::CreateObject<db::Recordset>("ADODB.RecordSet");
        cn->SetMode(db::adModeReadWrite);
        cn->Open(db::BuildConnectionString());
        cn->SetCursorLocation(db::adUseClient);
        const std::string& table = app::Globals::wizard().SelectedTable;
        for (const std::string& item : app::fieldItems(app::Globals::wizard().SelectedFieldsList)) {
            app::DoEvents();
            // Read afresh for each item, as the window reads its text box.
            const auto number = app::readConstant(QString::fromStdString(constantText));
            cn->Execute(addStatement(table, item, *number));
        }
        cn->SetCursorLocation(db::adUseClient);
        rs->Open(app::refreshQuery(table), *cn, db::adOpenKeyset, db::adLockReadOnly);
        grid.SetDataSource(rs->DataSource());
    }
    figures.rowsRead = bench::paintFirstScreen(grid);
    figures.ms = milliseconds(start);
    if (figures.rowsRead == 0) throw std::runtime_error("the refreshed grid read no rows");
    return figures;
}

ApplyFigures measureApply(const std::string& copy, const Options& options) {
    app::WizardState& wizard = app::Globals::wizard();
    wizard.databasePathSource = [copy] { return copy; };
    wizard.databasePasswordSource = [&options] { return options.password; };
    wizard.SelectedTable = options.table;
    wizard.SelectedFieldsList = "[" + options.field + "]";

    app::DataGrid grid;
    grid.resize(800, 600);
    grid.show();
    bench::warmUpPainting();
    loadPreview(grid);
    const ApplyFigures figures = apply(grid, options.constant);
    // Lets go of the file before anyone reads it again.
    grid.SetDataSource(nullptr);
    return figures;
}

// The same statement as `quillfen-db sql FILE STATEMENT` runs it: open, one read transaction
// that the statement's write takes over, the commit, close.
double measureStatement(const std::string& copy, const std::string& statement,
                        const Options& options) {
    const auto start = Clock::now();
    {
        auto database = jet::Database::open(copy, jet::OpenOptions{options.password});
        const auto reading = database->readTransaction();
        jet::sql::execute(*database, statement);
    }
    return milliseconds(start);
}

int run(const Options& options) {
    const auto number = app::readConstant(QString::fromStdString(options.constant));
    if (!number) {
        std::fprintf(stderr, "bench_apply: %s is not a number\n", options.constant.c_str());
        return 2;
    }
    const fs::path dir =
        fs::temp_directory_path() / ("quillfen-bench-apply-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    struct RemoveDir {
        fs::path dir;
        ~RemoveDir() {
            std::error_code ignored;
            fs::remove_all(dir, ignored);
        }
    } removeDir{dir};

    const Totals before = totalsOf(options.path, options);
    std::optional<double> statementMs;
    std::optional<ApplyFigures> applied;
    std::optional<Totals> afterStatement;
    std::optional<Totals> afterApply;
    // The statement first: the peak after it is its own, before the grid's rows add to it.
    if (options.only != "apply") {
        const std::string copy = freshCopy(options.path, dir, "statement");
        statementMs = measureStatement(
            copy, addStatement(options.table, "[" + options.field + "]", *number), options);
        afterStatement = totalsOf(copy, options);
        checkAdded("the statement", before, *afterStatement, *number);
        fs::remove(copy);
    }
    if (options.only != "statement") {
        const std::string copy = freshCopy(options.path, dir, "apply");
        applied = measureApply(copy, options);
        afterApply = totalsOf(copy, options);
        checkAdded("Apply", before, *afterApply, *number);
        fs::remove(copy);
    }
    if (afterStatement && afterApply &&
        std::fabs(afterStatement->sum - afterApply->sum) > 1e-9 * std::fabs(afterApply->sum)) {
        std::fprintf(stderr, "bench_apply: Apply and the statement left different sums\n");
        return 1;
    }

    if (applied) std::printf("apply-ms %.1f ", applied->ms);
    if (statementMs) std::printf("statement-ms %.1f ", *statementMs);
    if (applied && statementMs && *statementMs > 0) {
        std::printf("ratio %.2f ", applied->ms / *statementMs);
    }
    if (applied) std::printf("rows-read %d ", applied->rowsRead);
    std::printf("peak-mb %ld\n", peakMegabytes());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!bench::readOptions(argc, argv, 1,
                            {{"--file", &options.path},
                             {"--table", &options.table},
                             {"--field", &options.field},
                             {"--constant", &options.constant},
                             {"--password", &options.password},
                             {"--only", &options.only}})) {
        std::fprintf(stderr,
                     "usage: bench_apply --file PATH --table NAME --field NAME "
                     "--constant TEXT [--password P] [--only apply|statement]\n");
        return 2;
    }
    if (options.path.empty() || options.table.empty() || options.field.empty() ||
        options.constant.empty()) {
        std::fprintf(stderr, "bench_apply: --file, --table, --field and --constant are needed\n");
        return 2;
    }
    if (!options.only.empty() && options.only != "apply" && options.only != "statement") {
        std::fprintf(stderr, "bench_apply: --only takes apply or statement\n");
        return 2;
    }
    // The statement alone runs without the windows' toolkit, as quillfen-db does.
    std::optional<QApplication> application;
    if (options.only != "statement") {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        application.emplace(argc, argv);
        // The wizard's own yield: the windows repaint while the engine works on a statement.
        db::setBusyYield(&app::RepaintWhileBusy);
    }
    try {
        return run(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_apply: %s\n", e.what());
        return 1;
    }
}
