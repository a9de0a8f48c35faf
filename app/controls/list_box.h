// The wizard's list box: one selected entry at most, entries in the order they were added, and
// the members the wizard's procedures use (ListBoxControl).
#pragma once

#include <QListWidget>
#include <string>

#include "core/list_box.h"

namespace app {

class ListBox : public QListWidget, public ListBoxControl {
    Q_OBJECT

public:
    explicit ListBox(QWidget* parent = nullptr);
    ~ListBox() override = default;

    void AddItem(const std::string& text) override;
    // An index outside the list fails as the platform's list does.
    void RemoveItem(int index) override;
    void Clear() override;
    int ListCount() const override;
    // "" for an index outside the list.
    std::string List(int index) const override;
    int ListIndex() const override;
    // -1 clears the selection; any other index outside the list fails.
    void SetListIndex(int index) override;

signals:
    void DblClick();
    void MouseMove(int button, int shift, int x, int y);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
};

}  // namespace app
