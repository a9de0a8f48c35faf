#include "app/qt_platform.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QTime>
#include <QUrl>
#include <bit>

#include "core/failure.h"

namespace app {
namespace {

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QString messageBoxText(std::string_view text) {
    QString shown = fromUtf8(text);
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

QStringList qtNameFilters(std::string_view filter) {
    const QStringList parts = fromUtf8(filter).split(QLatin1Char('|'));
    QStringList filters;
    // A description without its patterns (a trailing "|" included) offers nothing to match.
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& p : patterns) p = p.trimmed();
        patterns.removeAll(QString());
        if (patterns.isEmpty()) continue;
        filters << parts[i] + QLatin1String(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return filters;
}

MessageAnswer QtPlatform::messageBox(std::string_view text, MessageButtons buttons,
                                     MessageIcon icon, std::string_view title,
                                     MessageAnswer defaultButton) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(fromUtf8(title));
    // Descriptions come from databases and users; nothing in them may turn into markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(messageBoxText(text));
    box.setIcon(icon == MessageIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon);
    if (buttons == MessageButtons::Ok) {
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return MessageAnswer::Ok;
    }
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(defaultButton == MessageAnswer::No ? QMessageBox::No : QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    box.exec();
    // Closing the box is no consent.
    return box.clickedButton() == box.button(QMessageBox::Yes) ? MessageAnswer::Yes
                                                               : MessageAnswer::No;
}

std::string QtPlatform::openFile(const OpenFileRequest& request) {
    QFileDialog dialog(QApplication::activeWindow(), fromUtf8(request.title));
    // Qt's own dialog matches patterns without regard to case, as the common dialog does; a
    // desktop's native one may not ("SHOP.MDB" must be offered).
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    // Qt has no "open as read-only" box. The closest sound thing is a dialog that cannot rename,
    // delete or create files while the user browses.
    dialog.setOption(QFileDialog::ReadOnly, request.readOnlyChecked);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(qtNameFilters(request.filter));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return "";
    return dialog.selectedFiles().constFirst().toStdString();
}

void QtPlatform::openAddress(std::string_view address) {
    // The desktop starts the browser detached; false means nothing could be started, which the
    // shell reports as a missing file.
    if (!QDesktopServices::openUrl(QUrl(fromUtf8(address)))) {
        throw Failure(53, "No web browser could be started for " + std::string(address));
    }
}

double QtPlatform::timer() { return QTime::currentTime().msecsSinceStartOfDay() / 1000.0; }

void QtPlatform::randomize(double seed) { generator_.seed(std::bit_cast<std::uint64_t>(seed)); }

double QtPlatform::random() {
    // The top 53 bits as a fraction: never 1.0, which a draw times 100 plus 1 must not reach.
    return static_cast<double>(generator_() >> 11) * 0x1.0p-53;
}

}  // namespace app
