// The wizard's text box: UTF-8 text, the selection, and the change, focus and mouse-move
// events. A password box is a TextBox whose echo mode is Password. Handlers connected to its
// signals run under `untrapped`: a failing one is shown and goes no further.
#pragma once

#include <QLineEdit>
#include <string>

namespace app {

class TextBox : public QLineEdit {
    Q_OBJECT

public:
    explicit TextBox(QWidget* parent = nullptr);

    std::string Text() const;
    void SetText(const std::string& text);

    // Puts the caret at `start` and clears the selection; beyond the end means the end.
    void SetSelStart(int start);
    // Selects `length` characters from the selection start (the caret when none is selected).
    void SetSelLength(int length);

signals:
    // Every change of the text, typed or set by code.
    void Change();
    void GotFocus();
    void MouseMove(int button, int shift, int x, int y);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
};

}  // namespace app
