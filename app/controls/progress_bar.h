// The operation windows' progress bar: present and empty, never moved.
#pragma once

#include <QProgressBar>

namespace app {

class ProgressBar : public QProgressBar {
    Q_OBJECT

public:
    explicit ProgressBar(QWidget* parent = nullptr);
};

}  // namespace app
