#include "app/main_module.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QRadioButton>
#include <QStringDecoder>
#include <QtEndian>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "app/controls/events.h"
#include "app/data_folders.h"
#include "core/addresses.h"
#include "core/failure.h"
#include "core/globals.h"

namespace app {
namespace {

// The runtime's numbers for a file it cannot read and for a picture it cannot load.
constexpr long kFileAccessError = 75;
constexpr long kInvalidPicture = 481;

QByteArray readWhole(const std::string& path, const char* what) {
    QFile file(QString::fromStdString(path));
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly)) bytes = file.readAll();
    if (!file.isOpen() || file.error() != QFileDevice::NoError) {
        throw Failure(kFileAccessError, std::string("The ") + what + " " + path +
                                            " cannot be read: " + file.errorString().toStdString());
    }
    return bytes;
}

bool takesButtonFace(const QWidget* control) {
    return qobject_cast<const QRadioButton*>(control) || qobject_cast<const QCheckBox*>(control) ||
           qobject_cast<const QGroupBox*>(control) || qobject_cast<const QLabel*>(control);
}

void paintButtonFace(QWidget& widget) {
    const QPalette desktop = QApplication::palette();
    QPalette palette = widget.palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setBrush(group, QPalette::Window, desktop.brush(group, QPalette::Button));
    }
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

void paintSystemColors(QWidget& window) {
    paintButtonFace(window);
    for (QWidget* control : window.findChildren<QWidget*>()) {
        if (takesButtonFace(control)) paintButtonFace(*control);
    }
}

const QString kFollowerName = QStringLiteral("SystemColorsFollower");

// A palette set on a widget is a fixed copy; this paints the window again when the desktop's
// colours change, so that it keeps following them.
class SystemColorsFollower final : public QObject {
public:
    explicit SystemColorsFollower(QWidget& window) : QObject(&window) {
        setObjectName(kFollowerName);
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ApplicationPaletteChange && watched == parent()) {
            paintSystemColors(*static_cast<QWidget*>(watched));
        }
        return false;
    }
};

qsizetype characters(const std::string& utf8) {
    return std::count_if(utf8.begin(), utf8.end(),
                         [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
}

}  // namespace

void UseSystemColors(QWidget& window) {
    paintSystemColors(window);
    if (!window.findChild<QObject*>(kFollowerName, Qt::FindDirectChildrenOnly)) {
        new SystemColorsFollower(window);
    }
}

std::string SkinFile() { return DataFolder() + "/x/o.cjs"; }

void ApplySkin(QWidget& form1) {
    const std::string path = SkinFile();
    const QFileInfo info(QString::fromStdString(path));
    if (!info.isFile() || info.isHidden()) return;
    UseSystemColors(form1);
    const QByteArray bytes = readWhole(path, "skin file");
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString sheet = utf8(bytes);
    if (utf8.hasError()) {
        throw Failure(kFileAccessError, "The skin file " + path + " is not a text style sheet");
    }
    // After whatever the window's own design set, so that the skin wins.
    const QString own = form1.styleSheet();
    form1.setStyleSheet(own.isEmpty() ? sheet : own + QLatin1Char('\n') + sheet);
}

void MaybeOpenHomePage() {
    Platform& platform = Globals::platform();
    platform.randomize(platform.timer());
    const int n = static_cast<int>(platform.random() * 100) + 1;
    if (n == 7) platform.openAddress(kHomePage);
}

std::string ApplicationTitleFor(std::string_view productTitle) {
    std::string title(productTitle);
    if (title.find(' ') == std::string::npos) return title;
    do {
        const auto space = title.rfind(' ');
        if (space == std::string::npos) break;
        title.erase(space);
    } while (characters(title) > 40);
    return title;
}

void SetApplicationTitle() {
    const std::string title = ApplicationTitleFor(kProductTitle);
    Globals::setApplicationTitle(title);
    // The name, not the display name: Qt appends a display name to every window title.
    QCoreApplication::setApplicationName(QString::fromStdString(title));
}

std::string HandCursorFile() { return DataFolder() + "/HAND-M.CUR"; }

QCursor LoadCursorFile(const std::string& path) {
    const QByteArray bytes = readWhole(path, "cursor file");
    const auto fail = [&path](const char* why) {
        return Failure(kInvalidPicture, "The cursor file " + path + " " + why);
    };
    // An icon directory of type 2: six bytes of header, then 16 per image, each with the image's
    // size and its hot spot.
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    if (bytes.size() < 6 || qFromLittleEndian<quint16>(data) != 0 ||
        qFromLittleEndian<quint16>(data + 2) != 2) {
        throw fail("is not a cursor file");
    }
    const int count = qFromLittleEndian<quint16>(data + 4);
    if (count == 0 || bytes.size() < 6 + 16 * count) throw fail("is damaged");
    // The image nearest to the usual 32 pixels.
    int chosen = 0;
    const auto width = [data](int i) { return data[6 + 16 * i] == 0 ? 256 : data[6 + 16 * i]; };
    for (int i = 1; i < count; ++i) {
        if (std::abs(width(i) - 32) < std::abs(width(chosen) - 32)) chosen = i;
    }
    const uchar* entry = data + 6 + 16 * chosen;

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    QImage image;
    if (reader.jumpToImage(chosen)) image = reader.read();
    if (image.isNull()) throw fail("holds no picture that can be shown");
    const int x = std::clamp<int>(qFromLittleEndian<quint16>(entry + 4), 0, image.width() - 1);
    const int y = std::clamp<int>(qFromLittleEndian<quint16>(entry + 6), 0, image.height() - 1);
    return QCursor(QPixmap::fromImage(image), x, y);
}

void RemoveDuplicateListboxItems(ListBoxControl& target, const ListBoxControl& reference) {
    std::vector<int> found;
    for (int i = 0; i < target.ListCount(); ++i) {
        for (int j = 0; j < reference.ListCount(); ++j) {
            DoEvents();
            if (target.List(i) == reference.List(j) && (found.empty() || found.back() != i)) {
                found.push_back(i);
            }
        }
    }
    // From the highest index down, so each removal leaves the ones still to come valid.
    for (auto index = found.rbegin(); index != found.rend(); ++index) target.RemoveItem(*index);
}

}  // namespace app
