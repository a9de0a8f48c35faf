#include "app/controls/data_grid.h"

#include <QHeaderView>

#include "app/controls/mouse_move.h"
#include "app/controls/recordset_model.h"

namespace app {

DataGrid::DataGrid(QWidget* parent) : QTableView(parent), model_(new RecordsetModel(this)) {
    setModel(model_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    for (QHeaderView* header : {horizontalHeader(), verticalHeader()}) {
        header->viewport()->setMouseTracking(true);
        header->viewport()->installEventFilter(this);
    }
    // Uniform row heights keep a long table cheap to scroll.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    fitRowsToFont();
}

void DataGrid::SetDataSource(std::shared_ptr<db::DataSource> source) {
    model_->setSource(std::move(source));
    scrollToTop();
}

void DataGrid::SetFocus() { setFocus(Qt::OtherFocusReason); }

void DataGrid::mouseMoveEvent(QMouseEvent* event) {
    QTableView::mouseMoveEvent(event);
    forwardMouseMove(event, [this](int b, int s, int x, int y) { emit MouseMove(b, s, x, y); });
}

bool DataGrid::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        forwardMouseMove(static_cast<QMouseEvent*>(event),
                         [this](int b, int s, int x, int y) { emit MouseMove(b, s, x, y); });
    }
    return QTableView::eventFilter(watched, event);
}

void DataGrid::changeEvent(QEvent* event) {
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange) fitRowsToFont();
}

// The window sets the grid's font after building it; rows and record selectors follow it.
void DataGrid::fitRowsToFont() {
    const int height = fontMetrics().height();
    verticalHeader()->setDefaultSectionSize(height + 4);
    verticalHeader()->setFixedWidth(height);
}

}  // namespace app
