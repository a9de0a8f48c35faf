// The base of every wizard window (Form1 to Form7): layout in twips, the designed fonts, the
// window pointer and its rule, the background mouse-move event, and closing. A window is
// created once and afterwards only hidden and shown.
//
// The furniture every window repeats is made here, once: its push buttons (the buttons' font,
// the geometry in twips, the hand over them, the click), the "< Back" pair at the foot of a
// step, and the controls over which the pointer turns back to the default. A window that
// moves on shows the other window through Forms, by its step, and never names its class.
#pragma once

#include <QCursor>
#include <QFont>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "app/controls/untrapped.h"

namespace app {

class PushButton;
class Trap;
enum class Step;

class WizardWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int kDefaultPointer = 0;
    static constexpr int kHourglass = 11;
    static constexpr int kCustomPointer = 99;

    explicit WizardWindow(QWidget* parent = nullptr);
    ~WizardWindow() override;

    // Pixels for twips: 15 twips to the pixel, the design's 96 dpi, rounded.
    static int twips(int t);
    // The client area, fixed: the windows are designed, not resizable.
    void setClientSizeTwips(int width, int height);
    // Geometry relative to the widget's parent (the window or a frame).
    static void placeTwips(QWidget* widget, int left, int top, int width, int height);

    // Arial as the design names it, or its metric twin Liberation Sans where Arial is absent.
    // Sized in pixels at 96 dpi, like the twips, so that the text fits the designed boxes
    // whatever dpi the desktop claims.
    static QFont arialFont(double points, bool bold);

    // The window pointer, over the whole window, its controls included: 0 default arrow,
    // 11 hourglass, 99 the custom image (SetMouseIcon), or the pointing hand when none was
    // loaded. Other values fail as the platform's property does.
    int MousePointer() const { return pointer_; }
    void SetMousePointer(int value);
    void SetMouseIcon(const QCursor& icon);

    // The pointer rule of the mouse-move handlers; neither replaces the hourglass. Over a push
    // button the pointer is the custom one; over the window's background (wired by this base)
    // and the controls named to pointerAsBackground() it is the default again.
    void PointerOverButton();
    void PointerOverBackground();

    // What every step window's load does first, under its own labels from `first` on: system
    // colours (first), the icon (+2), the hand cursor when its file is there (+6, +8) and the
    // caption (+10).
    void SetUpWindow(Trap& trap, int first);

    // The window of `step` shown (loaded first if it never was) under label `first`, then this
    // one hidden under `first` + 2: how a step hands over to another.
    void ShowInstead(Trap& trap, int first, Step step);

signals:
    void FormMouseMove(int button, int shift, int x, int y);

protected:
    // A push button in the buttons' font (Arial 11.25 bold), placed in twips in `parent` (the
    // window or one of its frames). The pointer rule's hand is wired to its mouse-move event and
    // `onClick`, when given, to its click. Buttons join the tab order in the order they are made.
    PushButton* addButton(const QString& caption, QWidget* parent, int left, int top, int width,
                          int height, std::function<void()> onClick = {});

    // The pair at the foot of a step window, 405 twips high at `top`: "< Back" at the left
    // (120, 2775 wide), then the way on at the right (3000, 2760 wide): "Next >", or "Apply" in
    // an operation window. Made after the window's other controls, they end its tab order.
    std::pair<PushButton*, PushButton*> addBackAndNext(int top, const QString& nextCaption,
                                                       std::function<void()> onBack,
                                                       std::function<void()> onNext);

    // Moves over these controls (text boxes, lists, frames, grids: any with a MouseMove event)
    // count as moves over the background. A control left out keeps the pointer as it was.
    template <class... Controls>
    void pointerAsBackground(Controls*... controls) {
        (connect(controls, &Controls::MouseMove, this, [this] { PointerOverBackground(); }), ...);
    }

    // Runs when the window is closed; by default the whole program ends at once.
    virtual void Form_Unload();

    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void applyPointer();

    // A control's own cursor (a text box's I-beam), given back when the default returns.
    struct OwnCursor {
        QPointer<QWidget> widget;
        std::optional<QCursor> cursor;
    };

    int pointer_ = kDefaultPointer;
    std::optional<QCursor> icon_;
    std::vector<OwnCursor> overridden_;
};

// Ends the program at once: every window is hidden, none is asked, and the event loop ends
// (as soon as it runs, when called before it starts). Returns to the caller.
void endProgram();

}  // namespace app
