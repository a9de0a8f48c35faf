// The wizard's frame: a caption drawn in the top border and children placed by absolute
// geometry relative to the frame's own top-left corner, caption band included.
#pragma once

#include <QGroupBox>

namespace app {

class Frame : public QGroupBox {
    Q_OBJECT

public:
    explicit Frame(const QString& caption = {}, QWidget* parent = nullptr);

signals:
    void MouseMove(int button, int shift, int x, int y);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    // The caption sits in the border line, which runs at half its height.
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace app
