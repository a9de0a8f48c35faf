// The preview grid's model over a data source of many rows: read only as far as the view asks.
#include "app/controls/recordset_model.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "app/controls/data_grid.h"
#include "core/failure.h"
#include "support/fake_platform.h"

namespace {

// Rows 0, 1, 2, ...: an Id, a Name that is Null on every fifth row, and a Price. It can be told
// to fail once a number of rows has been read.
class NumberedRows final : public db::DataSource {
public:
    explicit NumberedRows(std::size_t total, std::size_t failAt = SIZE_MAX)
        : total_(total), failAt_(failAt) {}

    const std::vector<db::DataColumn>& columns() const override { return columns_; }
    std::size_t fetch(std::size_t count, std::vector<std::vector<jet::Value>>& rows) override {
        const std::size_t first = read;
        for (; read < total_ && read - first < count; ++read) {
            if (read == failAt_) throw app::Failure(3043, "Disk or network error.");
            const auto id = static_cast<std::int32_t>(read);
            rows.push_back({id,
                            id % 5 == 0 ? jet::Value(jet::Null{}) : "Item " + std::to_string(id),
                            jet::Currency{id * 10000}});
        }
        return read - first;
    }
    bool atEnd() const override { return read >= total_; }

    std::size_t read = 0;

private:
    std::size_t total_;
    std::size_t failAt_;
    std::vector<db::DataColumn> columns_{{"Id", jet::ColumnType::Long},
                                         {"Name", jet::ColumnType::Text},
                                         {"Price", jet::ColumnType::Currency}};
};

constexpr std::size_t kMillion = 1'000'000;

QString cell(const QAbstractItemModel& model, int row, int column, int role = Qt::DisplayRole) {
    return model.data(model.index(row, column), role).toString();
}

TEST(RecordsetModel, ReadsAMillionRowsOnlyAsFarAsAsked) {
    auto source = std::make_shared<NumberedRows>(kMillion);
    app::RecordsetModel model;
    model.setSource(source);
    EXPECT_EQ(source->read, 0u);
    EXPECT_EQ(model.rowCount(), 0);
    ASSERT_EQ(model.columnCount(), 3);
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), "Price");

    ASSERT_TRUE(model.canFetchMore({}));
    model.fetchMore({});
    EXPECT_EQ(model.rowCount(), int{app::RecordsetModel::kBatchRows});
    model.fetchMore({});
    EXPECT_EQ(model.rowCount(), 2 * int{app::RecordsetModel::kBatchRows});
    EXPECT_EQ(source->read, 2 * app::RecordsetModel::kBatchRows);

    EXPECT_EQ(cell(model, 7, 1), "Item 7");
    EXPECT_EQ(cell(model, 10, 1), "");  // Null
    EXPECT_EQ(cell(model, 10, 0), "10");
    const auto alignment = [&](int column) {
        return model.data(model.index(0, column), Qt::TextAlignmentRole).value<Qt::Alignment>();
    };
    EXPECT_TRUE(alignment(0) & Qt::AlignRight);
    EXPECT_TRUE(alignment(1) & Qt::AlignLeft);
}

TEST(RecordsetModel, AShownGridReadsItsFirstScreenOnly) {
    auto source = std::make_shared<NumberedRows>(kMillion);
    app::DataGrid grid;
    grid.resize(400, 300);
    grid.SetDataSource(source);
    grid.show();
    QCoreApplication::processEvents();
    EXPECT_GT(grid.model()->rowCount(), 10);
    EXPECT_LE(source->read, 2 * app::RecordsetModel::kBatchRows);
}

TEST(RecordsetModel, RebindingReplacesAndUnbindingEmpties) {
    auto first = std::make_shared<NumberedRows>(3);
    app::DataGrid grid;
    grid.SetDataSource(first);
    QAbstractItemModel& model = *grid.model();
    model.fetchMore({});
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_FALSE(model.canFetchMore({}));

    auto second = std::make_shared<NumberedRows>(kMillion);
    grid.SetDataSource(second);
    EXPECT_EQ(first.use_count(), 1);  // the earlier source is let go
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_TRUE(model.canFetchMore({}));

    grid.SetDataSource(nullptr);
    EXPECT_EQ(second.use_count(), 1);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 0);
    EXPECT_FALSE(model.canFetchMore({}));
}

TEST(RecordsetModel, AFailingReadIsShownOnceAndEndsReading) {
    testsupport::FakePlatform platform;
    app::Globals::setApplicationTitle("Quillfen");
    // The second batch fails after three of its rows.
    auto source = std::make_shared<NumberedRows>(kMillion, app::RecordsetModel::kBatchRows + 3);
    app::RecordsetModel model;
    model.setSource(source);
    model.fetchMore({});
    EXPECT_NO_THROW(model.fetchMore({}));
    EXPECT_FALSE(model.canFetchMore({}));
    model.fetchMore({});
    QCoreApplication::processEvents();

    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, "Disk or network error.");
    EXPECT_EQ(platform.messages[0].buttons, app::MessageButtons::Ok);
    EXPECT_EQ(platform.messages[0].icon, app::MessageIcon::None);
    EXPECT_EQ(platform.messages[0].title, "Quillfen");
    EXPECT_EQ(model.rowCount(), int{app::RecordsetModel::kBatchRows} + 3);  // what was read stays

    model.setSource(std::make_shared<NumberedRows>(10));  // a new source reads again
    EXPECT_TRUE(model.canFetchMore({}));
}

}  // namespace
