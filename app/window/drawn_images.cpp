#include "app/window/drawn_images.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include "app/window/program_icon.h"
#include "app/window_core/shift_button.h"

namespace quillon::app {

namespace {

const QColor kFace(0xe6, 0xe6, 0xe6);
const QColor kEdge(0x8c, 0x8c, 0x8c);
const QColor kInk(0x3a, 0x3a, 0x3a);
const QColor kFaintInk(0xaa, 0xaa, 0xaa);
const QColor kHighlight(0x3d, 0x7e, 0xdb);

QPolygonF Triangle(QPointF a, QPointF b, QPointF c) { return QPolygonF({a, b, c}); }

}  // namespace

QPixmap ShiftButtonFace(ShiftFace face) {
    constexpr double s = kShiftButtonSize;
    constexpr double m = s / 2.0;
    QPixmap pixmap(kShiftButtonSize, kShiftButtonSize);
    pixmap.fill(kFace);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    // The four parts between the diagonals, as ShiftDirectionAt divides them.
    const QPolygonF top = Triangle({0, 0}, {s, 0}, {m, m});
    const QPolygonF right = Triangle({s, 0}, {s, s}, {m, m});
    const QPolygonF bottom = Triangle({s, s}, {0, s}, {m, m});
    const QPolygonF left = Triangle({0, s}, {0, 0}, {m, m});
    const QRectF centre(16, 16, 15, 15);

    const bool disabled = face == ShiftFace::kDisabled;
    p.setPen(Qt::NoPen);
    p.setBrush(kHighlight);
    switch (face) {
        case ShiftFace::kTop:
            p.drawPolygon(top);
            break;
        case ShiftFace::kRight:
            p.drawPolygon(right);
            break;
        case ShiftFace::kBottom:
            p.drawPolygon(bottom);
            break;
        case ShiftFace::kLeft:
            p.drawPolygon(left);
            break;
        default:
            break;
    }
    // The centre square covers the inner ends of the four parts.
    p.setBrush(face == ShiftFace::kCentre ? kHighlight : kFace);
    p.drawRect(centre);

    const QColor line = disabled ? kFaintInk.lighter(115) : kFaintInk;
    p.setPen(QPen(line, 1));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(0.5, 0.5), centre.topLeft());
    p.drawLine(QPointF(s - 0.5, 0.5), centre.topRight());
    p.drawLine(QPointF(s - 0.5, s - 0.5), centre.bottomRight());
    p.drawLine(QPointF(0.5, s - 0.5), centre.bottomLeft());
    p.drawRect(centre);

    // Arrow heads pointing the way the crop moves.
    const auto ink = [&](ShiftFace part) {
        if (disabled) return kFaintInk;
        return face == part ? QColor(Qt::white) : kInk;
    };
    p.setPen(Qt::NoPen);
    p.setBrush(ink(ShiftFace::kTop));
    p.drawPolygon(Triangle({m, 3}, {m - 6, 10}, {m + 6, 10}));
    p.setBrush(ink(ShiftFace::kBottom));
    p.drawPolygon(Triangle({m, s - 3}, {m - 6, s - 10}, {m + 6, s - 10}));
    p.setBrush(ink(ShiftFace::kLeft));
    p.drawPolygon(Triangle({3, m}, {10, m - 6}, {10, m + 6}));
    p.setBrush(ink(ShiftFace::kRight));
    p.drawPolygon(Triangle({s - 3, m}, {s - 10, m - 6}, {s - 10, m + 6}));
    p.setBrush(ink(ShiftFace::kCentre));
    p.drawEllipse(QPointF(m, m), 3, 3);

    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(disabled ? kFaintInk : kEdge, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(0, 0, kShiftButtonSize - 1, kShiftButtonSize - 1);
    return pixmap;
}

QPixmap RotationFace(bool clockwise, ButtonLook look) {
    constexpr int kSide = 24;
    QPixmap pixmap(kSide, kSide);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (look == ButtonLook::kPressed) {
        p.setPen(Qt::NoPen);
        p.setBrush(kFaintInk.lighter(120));
        p.drawRoundedRect(QRectF(0.5, 0.5, kSide - 1, kSide - 1), 3, 3);
    }
    const QColor ink = look == ButtonLook::kDisabled ? kFaintInk : kInk;

    // A three-quarter circle open at the top right (clockwise) or top left,
    // with the arrow head at its open end showing the way of the turn.
    const QRectF circle(5, 5, 14, 14);
    p.setPen(QPen(ink, 2.2, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    const int start = clockwise ? 60 * 16 : 120 * 16;  // Qt angles: 1/16 degree, counter-clockwise
    const int span = clockwise ? 270 * 16 : -270 * 16;
    p.drawArc(circle, start, span);

    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    if (clockwise) {
        p.drawPolygon(Triangle({15.5, 2.0}, {21.5, 6.5}, {14.0, 9.5}));
    } else {
        p.drawPolygon(Triangle({8.5, 2.0}, {2.5, 6.5}, {10.0, 9.5}));
    }
    return pixmap;
}

QCursor HandCursor(bool closed) {
    constexpr int kSide = 32;
    QPixmap pixmap(kSide, kSide);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1.2));
    p.setBrush(Qt::white);

    // Four fingers above the palm: long and apart when open, folded short
    // over the palm when closed. The thumb lies along the left side.
    const double fingerTop = closed ? 11.0 : 4.0;
    const double fingerHeight = closed ? 8.0 : 15.0;
    for (int i = 0; i < 4; ++i) {
        const double x = 9.0 + i * 4.0;
        p.drawRoundedRect(QRectF(x, fingerTop + (i == 0 || i == 3 ? 2.0 : 0.0), 4.0, fingerHeight),
                          2.0, 2.0);
    }
    QPainterPath palm;
    palm.addRoundedRect(QRectF(8.5, 15.0, 17.0, 12.0), 4.0, 4.0);
    p.drawPath(palm);
    p.drawRoundedRect(QRectF(closed ? 5.5 : 3.5, closed ? 16.0 : 13.5, 7.0, 4.0), 2.0, 2.0);
    // Cover the seams inside the palm so the hand reads as one shape.
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(9.3, 15.2, 15.4, 5.0));
    return QCursor(pixmap, 16, 16);
}

QIcon ProgramIcon() {
    QIcon icon;
    for (const int side : {16, 32, 48, 64, 128}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        PaintProgramIcon(painter, side);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace quillon::app
