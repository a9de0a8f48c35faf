// The preview grid's rows: a bound data source read forward in batches, only as far as the view
// asks (canFetchMore/fetchMore), so that a million-row table shows its first screen at once.
// Read-only: nothing in the wizard reads back from the grid.
#pragma once

#include <QAbstractTableModel>
#include <cstddef>
#include <memory>
#include <vector>

#include "app/controls/value_display.h"
#include "db/data_source.h"

namespace app {

class RecordsetModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr std::size_t kBatchRows = 256;

    explicit RecordsetModel(QObject* parent = nullptr);

    // Replaces the bound source; nullptr leaves the model empty. Nothing is read here.
    void setSource(std::shared_ptr<db::DataSource> source);
    const std::shared_ptr<db::DataSource>& source() const { return source_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    bool canFetchMore(const QModelIndex& parent) const override;
    // A failing read is shown once (a plain message box, posted so that it never opens inside
    // the view's layout) and ends the reading of this source; the rows read so far stay.
    void fetchMore(const QModelIndex& parent) override;

private:
    std::shared_ptr<db::DataSource> source_;
    std::vector<db::DataColumn> columns_;
    std::vector<std::vector<jet::Value>> rows_;
    bool failed_ = false;
    ValueDisplay display_;
};

}  // namespace app
