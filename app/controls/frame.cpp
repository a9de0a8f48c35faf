#include "app/controls/frame.h"

#include <qdrawutil.h>

#include <QPainter>
#include <QStyle>

#include "app/controls/mouse_move.h"

namespace app {

Frame::Frame(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {
    setMouseTracking(true);
}

void Frame::mouseMoveEvent(QMouseEvent* event) {
    QGroupBox::mouseMoveEvent(event);
    forwardMouseMove(event, [this](int b, int s, int x, int y) { emit MouseMove(b, s, x, y); });
}

void Frame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    // An etched line, drawn here: the styles' group box frames start below the caption.
    qDrawShadeRect(&painter, rect().adjusted(0, metrics.height() / 2, 0, 0), palette(), true);
    if (title().isEmpty()) return;

    const int indent = metrics.averageCharWidth();
    const QRect caption(indent, 0, metrics.horizontalAdvance(title()) + indent / 2,
                        metrics.height());
    painter.fillRect(caption, palette().brush(backgroundRole()));
    style()->drawItemText(&painter, caption, Qt::AlignCenter | Qt::TextShowMnemonic, palette(),
                          isEnabled(), title(), QPalette::WindowText);
}

}  // namespace app
