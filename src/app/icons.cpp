#include "app/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <cmath>

namespace lvov {

namespace {

const QColor kOutline(40, 40, 40);

void draw_folder(QPainter& p) {
    // Back of the folder with its tab, then the open front flap leaning right.
    p.setPen(QPen(QColor(130, 90, 10), 1));
    p.setBrush(QColor(235, 190, 60));
    p.drawPolygon(QPolygonF({{1.5, 3.5}, {6.5, 3.5}, {7.5, 5.5}, {13.5, 5.5}, {13.5, 13.5}, {1.5, 13.5}}));
    p.setBrush(QColor(255, 225, 110));
    p.drawPolygon(QPolygonF({{3.5, 7.5}, {15.5, 7.5}, {13.5, 13.5}, {1.5, 13.5}}));
}

void draw_circular_arrows(QPainter& p, const QColor& colour) {
    // Two arcs chasing each other around the centre, each ending in an arrow head.
    QPen pen(colour, 2.0, Qt::SolidLine, Qt::FlatCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QRectF circle(3, 3, 10, 10);
    p.drawArc(circle, 30 * 16, 130 * 16);
    p.drawArc(circle, 210 * 16, 130 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    const auto head = [&p](QPointF tip, QPointF dir) {
        const QPointF normal(-dir.y(), dir.x());
        p.drawPolygon(QPolygonF({tip + dir * 3.5, tip + normal * 3.0, tip - normal * 3.0}));
    };
    // Ends of the arcs at 160 and 340 degrees, heads pointing along the turn.
    const double r = 5.0;
    const double a1 = 160.0 * M_PI / 180.0;
    const double a2 = 340.0 * M_PI / 180.0;
    head(QPointF(8 + r * std::cos(a1), 8 - r * std::sin(a1)), QPointF(std::sin(a1), std::cos(a1)));
    head(QPointF(8 + r * std::cos(a2), 8 - r * std::sin(a2)), QPointF(std::sin(a2), std::cos(a2)));
}

void draw_pause_bars(QPainter& p) {
    p.setPen(QPen(kOutline, 1));
    p.setBrush(QColor(40, 80, 200));
    p.drawRect(QRectF(3.5, 2.5, 3, 11));
    p.drawRect(QRectF(9.5, 2.5, 3, 11));
}

void draw_play(QPainter& p, const QColor& colour) {
    p.setPen(QPen(colour.darker(160), 1));
    p.setBrush(colour);
    p.drawPolygon(QPolygonF({{4.5, 2.5}, {13.5, 8.0}, {4.5, 13.5}}));
}

void draw_beetle(QPainter& p) {
    const QColor green(30, 150, 40);
    p.setPen(QPen(green.darker(170), 1));
    // Six legs, three a side, and two feelers.
    for (int i = 0; i < 3; ++i) {
        const double y = 6.5 + i * 3.0;
        p.drawLine(QPointF(2, y - 1), QPointF(5, y));
        p.drawLine(QPointF(14, y - 1), QPointF(11, y));
    }
    p.drawLine(QPointF(6.5, 3), QPointF(5, 0.5));
    p.drawLine(QPointF(9.5, 3), QPointF(11, 0.5));
    p.setBrush(green.darker(130));
    p.drawEllipse(QRectF(5.5, 1.5, 5, 4));  // head
    p.setBrush(green);
    p.drawEllipse(QRectF(4, 4.5, 8, 11));  // body
    p.drawLine(QPointF(8, 5), QPointF(8, 15));  // wing cases
}

void draw_door(QPainter& p) {
    // A door frame, the door ajar, and an arrow leaving through it.
    p.setPen(QPen(kOutline, 1));
    p.setBrush(QColor(150, 95, 45));
    p.drawRect(QRectF(1.5, 1.5, 8, 13));
    p.setBrush(QColor(200, 140, 70));
    p.drawPolygon(QPolygonF({{1.5, 1.5}, {6.5, 3.5}, {6.5, 15.5}, {1.5, 14.5}}));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 30, 30));
    p.drawPolygon(QPolygonF({{8, 7}, {12, 7}, {12, 4.5}, {15.5, 8.5}, {12, 12.5}, {12, 10}, {8, 10}}));
}

// Two triangles one behind the other, pointing left (back) or right (forward).
void draw_rewind(QPainter& p, bool back) {
    const QColor blue(40, 80, 200);
    p.setPen(QPen(blue.darker(160), 1));
    p.setBrush(blue);
    for (const double x : {1.5, 8.0}) {
        const double tip = back ? x : x + 6.5;
        const double base = back ? x + 6.5 : x;
        p.drawPolygon(QPolygonF({{base, 3.0}, {tip, 8.0}, {base, 13.0}}));
    }
}

void draw_square(QPainter& p) {
    p.setPen(QPen(QColor(120, 0, 120), 1));
    p.setBrush(QColor(220, 0, 220));
    p.drawRect(QRectF(2.5, 2.5, 11, 11));
}

}  // namespace

QIcon make_image(int index) {
    QPixmap pixmap(IMAGE_SIZE, IMAGE_SIZE);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    switch (index) {
    case IMAGE_OPEN: draw_folder(p); break;
    case IMAGE_FULL_RESET: draw_circular_arrows(p, QColor(210, 30, 30)); break;
    case IMAGE_QUICK_RESET: draw_circular_arrows(p, QColor(20, 160, 40)); break;
    case IMAGE_PAUSE: draw_pause_bars(p); break;
    case IMAGE_RESUME: draw_play(p, QColor(20, 170, 40)); break;
    case IMAGE_RESUME_BLINK: draw_play(p, QColor(220, 0, 220)); break;
    case IMAGE_DEBUGGER: draw_beetle(p); break;
    case IMAGE_EXIT: draw_door(p); break;
    case IMAGE_FULL_RESET_MENU: draw_square(p); break;
    case IMAGE_REWIND_BACK: draw_rewind(p, true); break;
    case IMAGE_REWIND_FORWARD: draw_rewind(p, false); break;
    default: p.end(); return QIcon();
    }
    p.end();
    return QIcon(pixmap);
}

}  // namespace lvov
