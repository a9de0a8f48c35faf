// Renders every wizard window that exists to PNG, for people to look at: the windows are driven
// as a user would drive them, on the sample database, with settings in a throw-away folder and
// message boxes answered at once. Run by scripts/screenshots under a virtual display.
//
// The database step shows the sample's full path. So that the pictures do not show the build
// tree of whoever made them, the program can be given a neutral home folder: its resources are
// then copied to HOME/Quillfen, which stands in for the application folder.
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <string>
#include <vector>

#include "app/controls/data_grid.h"
#include "app/form1.h"
#include "app/forms.h"
#include "app/wizard_application.h"
#include "core/globals.h"
#include "math/form5.h"
#include "math/form6.h"
#include "math/form7.h"
#include "steps/form2.h"
#include "steps/form3.h"
#include "steps/form4.h"

namespace {

// Answers every box at once and remembers what it said, so nothing waits on a person.
class UnattendedPlatform final : public app::Platform {
public:
    app::MessageAnswer messageBox(std::string_view text, app::MessageButtons buttons,
                                  app::MessageIcon, std::string_view, app::MessageAnswer) override {
        std::fprintf(stderr, "message: %.*s\n", static_cast<int>(text.size()), text.data());
        return buttons == app::MessageButtons::YesNo ? app::MessageAnswer::No
                                                     : app::MessageAnswer::Ok;
    }
    std::string openFile(const app::OpenFileRequest&) override { return {}; }
    void openAddress(std::string_view) override {}
    double timer() override { return 0; }
    void randomize(double) override {}
    double random() override { return 0.5; }
};

void settle() {
    for (int i = 0; i < 10; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(20);
    }
}

bool save(QWidget& window, const QString& folder, const char* name) {
    settle();
    const QString path = folder + "/" + name + ".png";
    const bool ok = window.grab().save(path);
    std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

// Scrolls a grid so that the named column is the first one shown, as a user would to look at it.
void showColumn(app::DataGrid& grid, const QString& name) {
    QAbstractItemModel* model = grid.model();
    if (model->canFetchMore({})) model->fetchMore({});
    // The columns take their widths from the rows first; the scroll range follows them.
    settle();
    for (int c = 0; c < model->columnCount(); ++c) {
        if (model->headerData(c, Qt::Horizontal).toString() == name) {
            const bool perItem = grid.horizontalScrollMode() == QAbstractItemView::ScrollPerItem;
            grid.horizontalScrollBar()->setValue(
                perItem ? c : grid.columnViewportPosition(c) + grid.horizontalScrollBar()->value());
        }
    }
}

// HOME/Quillfen made afresh with the sample and the hand cursor of the program's own folder;
// "" when it cannot be.
QString neutralApplicationFolder(const QString& home) {
    const QString own = QCoreApplication::applicationDirPath();
    QString folder = home + "/Quillfen";
    QDir(folder).removeRecursively();
    if (!QDir().mkpath(folder + "/Samples") ||
        !QFile::copy(own + "/Samples/sample.mdb", folder + "/Samples/sample.mdb") ||
        !QFile::copy(own + "/HAND-M.CUR", folder + "/HAND-M.CUR")) {
        return {};
    }
    QFile::setPermissions(folder + "/Samples/sample.mdb", QFile::ReadOwner | QFile::WriteOwner);
    return folder;
}

}  // namespace

int main(int argc, char** argv) {
    app::WizardApplication application(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: quillfen-screenshots OUTPUT_FOLDER [NEUTRAL_HOME]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());

    UnattendedPlatform platform;
    app::Globals::setPlatform(&platform);
    QString applicationFolder = QCoreApplication::applicationDirPath();
    if (argc == 3) {
        applicationFolder = neutralApplicationFolder(QString::fromLocal8Bit(argv[2]));
        if (applicationFolder.isEmpty()) {
            std::fprintf(stderr, "cannot make the application folder in %s\n", argv[2]);
            return 1;
        }
    }
    app::Globals::setApplicationFolder(applicationFolder.toStdString());

    bool ok = true;
    {
        app::Forms forms;
        app::Form1& form1 = forms.form1();
        form1.show();
        ok &= save(form1, folder, "form1-first-run");
        form1.PushButton1_Click();
        ok &= save(form1, folder, "form1-sample");
        // The operations change the database: they work on a copy of the sample.
        const QString copy = settings.path() + "/sample.mdb";
        QFile::copy(QString::fromStdString(form1.Text1->Text()), copy);
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
        form1.Text1->SetText(copy.toStdString());
        form1.PushButton3_Click();
        app::Form2& form2 = forms.form2();
        ok &= save(form2, folder, "form2");

        // The field step on Orders, with Price and Qty chosen; then the math option step.
        form2.List1->SetListIndex(1);
        form2.PushButton3_Click();
        app::Form3& form3 = forms.form3();
        for (int i = 0; i < 2; ++i) {
            form3.List1->SetListIndex(3);
            form3.PushButton5_Click();
        }
        ok &= save(form3, folder, "form3");
        form3.PushButton3_Click();
        app::Form4& form4 = forms.form4();
        ok &= save(form4, folder, "form4");

        // Each operation once, before and after Apply.
        const auto beforeAndAfter = [&](auto& window, const std::string& name,
                                        const QString& column, const QString& columnAfter) {
            showColumn(*window.DataGrid1, column);
            ok &= save(window, folder, (name + "-before").c_str());
            window.PushButton4_Click();
            showColumn(*window.DataGrid1, columnAfter);
            ok &= save(window, folder, (name + "-after").c_str());
        };
        form4.PushButton5_Click();
        app::Form5& form5 = forms.form5();
        form5.Text1->SetText("10");
        beforeAndAfter(form5, "form5", "Price", "Price");
        form5.PushButton2_Click();

        form4.Option2->setChecked(true);
        form4.PushButton5_Click();
        app::Form6& form6 = forms.form6();
        form6.Combo1->setCurrentIndex(0);
        form6.Combo2->setCurrentText("Shipping");
        beforeAndAfter(form6, "form6", "Price", "Price");
        form6.PushButton2_Click();

        form4.Option3->setChecked(true);
        form4.PushButton5_Click();
        app::Form7& form7 = forms.form7();
        form7.Combo1->setCurrentIndex(2);
        form7.Text1->SetText("Total");
        beforeAndAfter(form7, "form7", "Price", "Total");
    }
    app::Globals::setPlatform(nullptr);
    return ok ? 0 : 1;
}
