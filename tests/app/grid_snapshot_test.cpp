// A grid bound to a client-side recordset keeps showing the table as it was when the recordset
// was opened, while other connections change its rows and its columns, also in the rows it has
// not read yet.
#include <gtest/gtest.h>

#include <QApplication>
#include <filesystem>
#include <fstream>

#include "app/controls/data_grid.h"
#include "db/connection.h"
#include "db/objects.h"
#include "db/recordset.h"
#include "jet/database.h"
#include "jet/new_database.h"
#include "jet/sql/csv_import.h"
#include "jet/sql/execute.h"
#include "support/fixtures.h"

namespace {

constexpr int kRows = 3000;

std::string connectionTo(const std::string& path) {
    return "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=" + path + ";JET OLEDB:Database Password=";
}

void execute(const std::string& path, const std::string& statement) {
    auto cn = db::CreateObject<db::Connection>("ADODB.Connection");
    cn->SetMode(db::adModeReadWrite);
    cn->Open(connectionTo(path));
    cn->Execute(statement);
}

QString cell(const app::DataGrid& grid, int row, int column) {
    return grid.model()->index(row, column).data().toString();
}

TEST(GridSnapshot, KeepsTheOldRowsAndColumnsWhileOtherConnectionsChangeTheTable) {
    testsupport::TempDir dir;
    const std::string path = (dir.path() / "orders.mdb").string();
    jet::createDatabase(path, jet::NewDatabaseFormat::Access2000);
    {
        const std::string csv = (dir.path() / "orders.csv").string();
        std::ofstream out(csv);
        out << "Id,Price,Qty\n";
        for (int i = 1; i <= kRows; ++i) out << i << ',' << i * 10 << ',' << i % 7 << '\n';
        out.close();
        auto database = jet::Database::open(path);
        jet::sql::execute(*database, "CREATE TABLE [Orders] ([Id] LONG, [Price] LONG, [Qty] INT)");
        jet::sql::importCsv(*database, "Orders", csv);
    }

    app::DataGrid grid;
    grid.resize(400, 300);
    grid.show();
    {
        auto cn = db::CreateObject<db::Connection>("ADODB.Connection");
        auto rs = db::CreateObject<db::Recordset>("ADODB.recordset");
        cn->SetMode(db::adModeReadWrite);
        cn->Open(connectionTo(path));
        cn->SetCursorLocation(db::adUseClient);
        rs->Open("SELECT * FROM [Orders];", *cn, db::adOpenStatic, db::adLockOptimistic);
        grid.SetDataSource(rs->DataSource());
    }
    auto* model = grid.model();
    model->fetchMore({});  // the first screen, as the view asks for it when it paints
    ASSERT_GT(model->rowCount(), 0);
    ASSERT_LT(model->rowCount(), kRows) << "the grid must not read the whole table up front";

    execute(path, "UPDATE [Orders] SET [Price] = [Price] + 1");
    execute(path, "ALTER TABLE [Orders] DROP [Qty]");
    execute(path, "ALTER TABLE [Orders] ADD COLUMN [Total] INT");
    execute(path, "DELETE FROM [Orders] WHERE [Id] > 2000");

    ASSERT_EQ(model->columnCount(), 3);
    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), "Qty");
    EXPECT_EQ(cell(grid, 0, 1), "10");

    while (model->canFetchMore({})) model->fetchMore({});
    ASSERT_EQ(model->rowCount(), kRows);
    grid.scrollToBottom();
    QApplication::processEvents();
    EXPECT_EQ(cell(grid, kRows - 1, 0), QString::number(kRows));
    EXPECT_EQ(cell(grid, kRows - 1, 1), QString::number(kRows * 10));
    EXPECT_EQ(cell(grid, kRows - 1, 2), QString::number(kRows % 7));

    // A recordset opened now sees the table as it is.
    auto cn = db::CreateObject<db::Connection>("ADODB.Connection");
    auto rs = db::CreateObject<db::Recordset>("ADODB.recordset");
    cn->Open(connectionTo(path));
    cn->SetCursorLocation(db::adUseClient);
    rs->Open("SELECT * FROM [Orders];", *cn, db::adOpenStatic, db::adLockOptimistic);
    ASSERT_EQ(rs->Fields().Count(), 3);
    EXPECT_EQ(rs->Fields()[2].Name(), "Total");
    grid.SetDataSource(rs->DataSource());
    while (model->canFetchMore({})) model->fetchMore({});
    EXPECT_EQ(model->rowCount(), 2000);
    EXPECT_EQ(cell(grid, 0, 1), "11");
}

}  // namespace
