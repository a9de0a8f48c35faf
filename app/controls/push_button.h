// The wizard's push button: a caption, Enabled, a click (`clicked`) and a mouse-move event
// that arrives without a pressed button too, for the window's pointer rule. The window sets the
// caption font.
#pragma once

#include <QPushButton>

namespace app {

class PushButton : public QPushButton {
    Q_OBJECT

public:
    explicit PushButton(const QString& caption = {}, QWidget* parent = nullptr);

signals:
    void MouseMove(int button, int shift, int x, int y);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
};

}  // namespace app
