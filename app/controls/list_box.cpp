#include "app/controls/list_box.h"

#include "app/controls/mouse_move.h"
#include "app/controls/untrapped.h"
#include "core/failure.h"

namespace app {

ListBox::ListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
}

void ListBox::AddItem(const std::string& text) { addItem(QString::fromStdString(text)); }

void ListBox::RemoveItem(int index) {
    if (index < 0 || index >= count()) throw Failure(5, "Invalid procedure call or argument");
    // Qt would select the entry that moves up into its place; the wizard's list has none.
    const bool wasSelected = ListIndex() == index;
    delete takeItem(index);
    if (wasSelected) clearSelection();
}

void ListBox::Clear() { clear(); }

int ListBox::ListCount() const { return count(); }

std::string ListBox::List(int index) const {
    const QListWidgetItem* entry = item(index);
    return entry ? entry->text().toStdString() : std::string();
}

int ListBox::ListIndex() const {
    // The selection, not Qt's current row, which never goes back to none.
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.front().row();
}

void ListBox::SetListIndex(int index) {
    if (index == -1) {
        clearSelection();
        return;
    }
    if (index < 0 || index >= count()) throw Failure(380, "Invalid property value");
    setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
}

void ListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    QListWidget::mouseDoubleClickEvent(event);
    untrapped([this] { emit DblClick(); });
}

void ListBox::mouseMoveEvent(QMouseEvent* event) {
    QListWidget::mouseMoveEvent(event);
    forwardMouseMove(event, [this](int b, int s, int x, int y) { emit MouseMove(b, s, x, y); });
}

}  // namespace app
