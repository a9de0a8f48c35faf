#include "app/controls/progress_bar.h"

namespace app {

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    setValue(0);
    // An empty bar with "0%" beside it would look like a stalled operation.
    setTextVisible(false);
}

}  // namespace app
