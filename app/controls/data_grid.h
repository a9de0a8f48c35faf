// The preview grid: shows every column and row of the bound data source, read as the user
// scrolls; binding another source replaces the earlier one, and an unbound grid is empty. For
// viewing only.
#pragma once

#include <QTableView>
#include <memory>

#include "db/data_source.h"

namespace app {

class RecordsetModel;

class DataGrid : public QTableView {
    Q_OBJECT

public:
    explicit DataGrid(QWidget* parent = nullptr);

    // nullptr unbinds. The grid holds the source until it is bound to another.
    void SetDataSource(std::shared_ptr<db::DataSource> source);
    void SetFocus();

signals:
    void MouseMove(int button, int shift, int x, int y);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    // Moves over the column and row headers count as moves over the grid.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void fitRowsToFont();

    RecordsetModel* model_;
};

}  // namespace app
