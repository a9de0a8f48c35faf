// Quillfen: the program starts by loading the database step, whose load is the start-up
// sequence; the window shows when its load has finished, unless the load already moved on to
// the table step or ended the program.
#include <QCoreApplication>

#include "app/form1.h"
#include "app/forms.h"
#include "app/qt_platform.h"
#include "app/wizard_application.h"
#include "core/globals.h"

int main(int argc, char** argv) {
    app::WizardApplication application(argc, argv);
    app::QtPlatform platform;
    app::Globals::setPlatform(&platform);
    app::Globals::setApplicationFolder(QCoreApplication::applicationDirPath().toStdString());

    app::Forms forms;
    app::Form1& form1 = forms.form1();
    if (forms.ended()) return 0;
    if (form1.showAfterLoad()) form1.show();
    const int status = application.exec();
    app::Globals::setPlatform(nullptr);
    return status;
}
