// Icons drawn with QPainter at 16x16 (and 32x32 for the program), so the program ships no image
// files and looks the same under every style.
#include "gui/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace gui {

namespace {

using Painter = std::function<void(QPainter&)>;

// Draws on a 16x16 grid scaled to `size`.
QIcon Draw(const Painter& paint, int size = 16) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);
    paint(p);
    return QIcon(pixmap);
}

void Disc(QPainter& p, const QColor& fill) {
    p.setPen(QPen(fill.darker(140), 1));
    p.setBrush(fill);
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
}

void Stroke(QPainter& p, const QColor& color, qreal width) {
    QPen pen(color, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
}

void Letter(QPainter& p, const QString& text, const QColor& color) {
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(11);
    p.setFont(font);
    p.setPen(color);
    p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, text);
}

void Triangle(QPainter& p, QPointF a, QPointF b, QPointF c, const QColor& fill) {
    QPainterPath path;
    path.moveTo(a);
    path.lineTo(b);
    path.lineTo(c);
    path.closeSubpath();
    p.setPen(QPen(fill.darker(150), 1));
    p.setBrush(fill);
    p.drawPath(path);
}

const QColor kBlue(45, 110, 200);
const QColor kGreen(40, 150, 60);
const QColor kRed(200, 45, 40);
const QColor kAmber(235, 170, 20);
const QColor kGrey(120, 120, 120);

} // namespace

QIcon ProgramIcon() {
    return Draw(
        [](QPainter& p) {
            p.setPen(QPen(QColor(30, 60, 110), 0.8));
            p.setBrush(QColor(50, 90, 160));
            p.drawRoundedRect(QRectF(1, 2, 14, 12), 2, 2);
            p.setBrush(Qt::white);
            for (int i = 0; i < 4; ++i) {
                p.drawRect(QRectF(2.5 + i * 3.2, 3, 1.6, 1.2));
                p.drawRect(QRectF(2.5 + i * 3.2, 11.8, 1.6, 1.2));
            }
            Triangle(p, {6, 5.5}, {11, 8}, {6, 10.5}, QColor(250, 200, 60));
        },
        32);
}

QIcon JobStatusIcon(int image) {
    switch (image) {
    case 0: // pending: a clock
        return Draw([](QPainter& p) {
            Disc(p, QColor(230, 235, 245));
            Stroke(p, kBlue, 1.4);
            p.drawLine(QPointF(8, 8), QPointF(8, 4.5));
            p.drawLine(QPointF(8, 8), QPointF(10.5, 9.5));
        });
    case 1: // running: play
        return Draw([](QPainter& p) {
            Disc(p, kGreen);
            Triangle(p, {6.2, 4.5}, {11.5, 8}, {6.2, 11.5}, Qt::white);
        });
    case 2: // complete: a tick
        return Draw([](QPainter& p) {
            Stroke(p, kGreen, 2.4);
            p.drawPolyline(QPolygonF({QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4)}));
        });
    case 3: // error: a cross on red
        return Draw([](QPainter& p) {
            Disc(p, kRed);
            Stroke(p, Qt::white, 1.8);
            p.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
            p.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
        });
    case 4: // complete, but not what its template asks for: an exclamation mark on amber
        return Draw([](QPainter& p) {
            Triangle(p, {8, 1.5}, {15, 14.5}, {1, 14.5}, kAmber);
            Stroke(p, Qt::black, 1.8);
            p.drawLine(QPointF(8, 6), QPointF(8, 10));
            p.drawPoint(QPointF(8, 12.5));
        });
    default:
        return QIcon();
    }
}

QIcon LogLevelIcon(int level) {
    switch (level) {
    case 0:
        return Draw([](QPainter& p) {
            Disc(p, kBlue);
            Letter(p, "i", Qt::white);
        });
    case 1:
        return Draw([](QPainter& p) {
            Triangle(p, {8, 1.5}, {15, 14.5}, {1, 14.5}, kAmber);
            p.translate(0, 1.5);
            Letter(p, "!", Qt::black);
        });
    case 2:
        return Draw([](QPainter& p) {
            Disc(p, kRed);
            Letter(p, "x", Qt::white);
        });
    case 3:
        return Draw([](QPainter& p) {
            p.setPen(QPen(kGrey.darker(140), 1));
            p.setBrush(QColor(225, 225, 225));
            p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 2.5, 2.5);
            Letter(p, "D", kGrey.darker(160));
        });
    default:
        return QIcon();
    }
}

QIcon JobButtonIcon(ButtonIcon which) {
    switch (which) {
    case ButtonIcon::MoveUp:
        return Draw([](QPainter& p) { Triangle(p, {8, 3}, {14, 12}, {2, 12}, kBlue); });
    case ButtonIcon::MoveDown:
        return Draw([](QPainter& p) { Triangle(p, {2, 4}, {14, 4}, {8, 13}, kBlue); });
    case ButtonIcon::Delete:
        return Draw([](QPainter& p) {
            Stroke(p, kRed, 2.4);
            p.drawLine(QPointF(4, 4), QPointF(12, 12));
            p.drawLine(QPointF(12, 4), QPointF(4, 12));
        });
    case ButtonIcon::Reset:
        return Draw([](QPainter& p) {
            Stroke(p, kBlue, 1.8);
            p.drawArc(QRectF(3, 3, 10, 10), 90 * 16, 270 * 16);
            Triangle(p, {8, 0.8}, {11.5, 3}, {8, 5.2}, kBlue);
        });
    case ButtonIcon::Start:
        return Draw([](QPainter& p) { Triangle(p, {4, 2.5}, {13.5, 8}, {4, 13.5}, kGreen); });
    case ButtonIcon::Stop:
        return Draw([](QPainter& p) {
            p.setPen(QPen(kRed.darker(150), 1));
            p.setBrush(kRed);
            p.drawRoundedRect(QRectF(3, 3, 10, 10), 1.5, 1.5);
        });
    case ButtonIcon::Clear:
        return Draw([](QPainter& p) {
            p.setPen(QPen(kGrey.darker(150), 1));
            p.setBrush(QColor(200, 200, 200));
            p.drawRect(QRectF(4, 5, 8, 9.5));
            p.drawRect(QRectF(2.5, 3, 11, 2));
            p.drawRect(QRectF(6.5, 1.5, 3, 1.5));
            Stroke(p, kGrey.darker(150), 1);
            p.drawLine(QPointF(6.5, 7), QPointF(6.5, 13));
            p.drawLine(QPointF(9.5, 7), QPointF(9.5, 13));
        });
    }
    return QIcon();
}

} // namespace gui
