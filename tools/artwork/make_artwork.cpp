// Writes the application icon (icons/quillfen-<size>.png) and the hand cursor (HAND-M.CUR) into
// the folder given on the command line.
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <array>
#include <cstdio>
#include <cstring>

namespace {

// A database cylinder with an orange plus-minus badge: arithmetic on a database.
QImage drawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    const double line = std::max(1.0, s / 40);

    const double left = 0.10 * s, right = 0.70 * s, top = 0.10 * s, bottom = 0.86 * s;
    const double rim = 0.18 * s;  // height of the ellipses
    QLinearGradient body(left, 0, right, 0);
    body.setColorAt(0, QColor(0x3b, 0x7d, 0xe8));
    body.setColorAt(0.55, QColor(0x2a, 0x62, 0xc9));
    body.setColorAt(1, QColor(0x17, 0x43, 0x94));
    QPainterPath cylinder;
    cylinder.moveTo(left, top + rim / 2);
    cylinder.lineTo(left, bottom - rim / 2);
    cylinder.arcTo(QRectF(left, bottom - rim, right - left, rim), 180, 180);
    cylinder.lineTo(right, top + rim / 2);
    cylinder.arcTo(QRectF(left, top, right - left, rim), 0, 180);
    const QColor outline(0x10, 0x2f, 0x6b);
    p.setPen(QPen(outline, line));
    p.setBrush(body);
    p.drawPath(cylinder);
    // The bands between the stacked discs.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0xa9, 0xc8, 0xff), line));
    for (const double y : {top + (bottom - top - rim) / 3, top + 2 * (bottom - top - rim) / 3}) {
        p.drawArc(QRectF(left, y, right - left, rim), 180 * 16, 180 * 16);
    }
    p.setPen(QPen(outline, line));
    p.setBrush(QColor(0x8c, 0xb6, 0xff));
    p.drawEllipse(QRectF(left, top, right - left, rim));

    // The badge.
    const QPointF centre(0.71 * s, 0.71 * s);
    const double radius = 0.27 * s;
    p.setPen(QPen(Qt::white, std::max(1.0, s / 24)));
    p.setBrush(QColor(0xf0, 0x8a, 0x00));
    p.drawEllipse(centre, radius, radius);
    const double arm = radius * 0.55;
    const double stroke = std::max(1.5, radius * 0.22);
    p.setPen(QPen(Qt::white, stroke, Qt::SolidLine, Qt::FlatCap));
    if (size >= 32) {
        const QPointF plus = centre - QPointF(0, radius * 0.28);
        p.drawLine(plus - QPointF(arm, 0), plus + QPointF(arm, 0));
        p.drawLine(plus - QPointF(0, arm * 0.8), plus + QPointF(0, arm * 0.8));
        const QPointF minus = centre + QPointF(0, radius * 0.52);
        p.drawLine(minus - QPointF(arm, 0), minus + QPointF(arm, 0));
    } else {
        // Too small for two signs: a plus alone stays readable.
        p.drawLine(centre - QPointF(arm, 0), centre + QPointF(arm, 0));
        p.drawLine(centre - QPointF(0, arm), centre + QPointF(0, arm));
    }
    return image;
}

// A pointing hand: X outline, o inside, . transparent. The hot spot is the index finger's tip.
constexpr std::array<const char*, 21> kHand = {
    ".....XX..........", "....XooX.........", "....XooX.........", "....XooX.........",
    "....XooXXX.......", "....XooXooXXX....", "....XooXooXooXX..", "....XooXooXooXooX",
    ".XX.XooXooXooXooX", "XooXXooXooXooXooX", "XoooXoooooooooooX", ".XooooooooooooooX",
    "..XoooooooooooooX", "..XoooooooooooooX", "...XooooooooooooX", "...XoooooooooooX.",
    "....XooooooooooX.", "....XooooooooooX.", ".....XooooooooX..", ".....XooooooooX..",
    ".....XXXXXXXXXX..",
};
constexpr int kHotX = 5, kHotY = 0;

char pixel(int x, int y) {
    if (y >= static_cast<int>(kHand.size())) return '.';
    const char* row = kHand[y];
    return x < static_cast<int>(std::strlen(row)) ? row[x] : '.';
}

// A 32 x 32 monochrome cursor: the colour bits (1 = white) and the AND mask (1 = transparent),
// each stored bottom row first.
QByteArray handCursor() {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    const quint32 imageBytes = 40 + 8 + 128 + 128;
    out << quint16(0) << quint16(2) << quint16(1);
    out << quint8(32) << quint8(32) << quint8(2) << quint8(0) << quint16(kHotX) << quint16(kHotY)
        << imageBytes << quint32(6 + 16);
    out << quint32(40) << qint32(32) << qint32(64) << quint16(1) << quint16(1) << quint32(0)
        << quint32(256) << qint32(0) << qint32(0) << quint32(2) << quint32(0);
    out << quint32(0x00000000) << quint32(0x00ffffff);
    for (const char set : {'o', '.'}) {
        for (int y = 31; y >= 0; --y) {
            quint32 row = 0;
            for (int x = 0; x < 32; ++x) {
                if (pixel(x, y) == set) row |= 1u << (31 - x);
            }
            out.setByteOrder(QDataStream::BigEndian);  // leftmost pixel in the first byte's top bit
            out << row;
            out.setByteOrder(QDataStream::LittleEndian);
        }
    }
    return bytes;
}

bool write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_artwork <app/resources>\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    folder.mkpath(QStringLiteral("icons"));
    for (const int size : {16, 32, 48, 128, 256}) {
        if (!drawIcon(size).save(
                folder.filePath(QStringLiteral("icons/quillfen-%1.png").arg(size)))) {
            return 1;
        }
    }
    return write(folder.filePath(QStringLiteral("HAND-M.CUR")), handCursor()) ? 0 : 1;
}
