// The wizard's QApplication. An exception that leaves an event handler would end the program
// and lose the user's work; here it is shown in a plain message box and the program goes on.
#pragma once

#include <QApplication>

namespace app {

class WizardApplication final : public QApplication {
    Q_OBJECT

public:
    WizardApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

private:
    int dispatchDepth_ = 0;
};

}  // namespace app
