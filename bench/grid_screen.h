// A grid's first screen as a window shows it: the grid, shown, lays itself out from the event
// loop, asks its source for the first rows and paints them.
#pragma once

#include <QApplication>
#include <QLabel>

#include "app/controls/data_grid.h"

namespace bench {

// By the time a grid shows, the wizard has painted other windows and loaded its fonts; painting
// some text before the clock starts does the same here.
inline void warmUpPainting() {
    QLabel label("Quillfen 0123456789");
    label.grab();
    QApplication::processEvents();
}

// Runs the event loop until the shown `grid` has read rows from its source, then paints the
// screen as it is now in full. The rows read; 0 when it read none.
inline int paintFirstScreen(app::DataGrid& grid) {
    for (int i = 0; i < 100 && grid.model()->rowCount() == 0; ++i) {
        grid.viewport()->repaint();
        QApplication::processEvents();
    }
    grid.grab();
    return grid.model()->rowCount();
}

}  // namespace bench
