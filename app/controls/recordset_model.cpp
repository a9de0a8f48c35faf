#include "app/controls/recordset_model.h"

#include <QMetaObject>
#include <algorithm>
#include <climits>
#include <iterator>
#include <string>
#include <utility>

#include "app/controls/events.h"
#include "app/controls/untrapped.h"
#include "core/error_trap.h"

namespace app {

RecordsetModel::RecordsetModel(QObject* parent) : QAbstractTableModel(parent) {}

void RecordsetModel::setSource(std::shared_ptr<db::DataSource> source) {
    beginResetModel();
    source_ = std::move(source);
    columns_ = source_ ? source_->columns() : std::vector<db::DataColumn>{};
    rows_.clear();
    rows_.shrink_to_fit();
    failed_ = false;
    endResetModel();
}

int RecordsetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int RecordsetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant RecordsetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= rows_.size()) return {};
    const auto column = static_cast<std::size_t>(index.column());
    if (role == Qt::TextAlignmentRole && column < columns_.size()) {
        const Qt::Alignment side =
            alignsRight(columns_[column].type) ? Qt::AlignRight : Qt::AlignLeft;
        return QVariant::fromValue(side | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole) return {};
    const auto& row = rows_[static_cast<std::size_t>(index.row())];
    return column < row.size() ? display_.text(row[column]) : QString();
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    // Rows carry a bare record selector, as in the datasheet.
    if (orientation == Qt::Vertical) return QString();
    if (section < 0 || static_cast<std::size_t>(section) >= columns_.size()) return {};
    return QString::fromStdString(columns_[static_cast<std::size_t>(section)].name);
}

bool RecordsetModel::canFetchMore(const QModelIndex& parent) const {
    // The window repaints while the engine is in the middle of a statement, which no read may
    // enter; the rows read so far are shown meanwhile.
    return !engineAtWork() && !parent.isValid() && source_ && !failed_ && !source_->atEnd() &&
           rows_.size() < static_cast<std::size_t>(INT_MAX) - kBatchRows;
}

void RecordsetModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent)) return;
    std::vector<std::vector<jet::Value>> batch;
    std::string failure;
    try {
        source_->fetch(kBatchRows, batch);
    } catch (...) {
        failed_ = true;
        failure = currentFailureDescription();
    }
    // A failure may leave a partly built row behind; only whole rows are shown.
    std::erase_if(batch, [&](const auto& row) { return row.size() != columns_.size(); });
    if (!batch.empty()) {
        const int first = static_cast<int>(rows_.size());
        beginInsertRows({}, first, first + static_cast<int>(batch.size()) - 1);
        std::move(batch.begin(), batch.end(), std::back_inserter(rows_));
        endInsertRows();
    }
    if (failed_) {
        QMetaObject::invokeMethod(
            this, [failure] { showPlainMessage(failure); }, Qt::QueuedConnection);
    }
}

}  // namespace app
