#include "app/window/program_icon.h"

#include <algorithm>
#include <cstdio>

namespace quillon::app {

namespace {

struct Colour {
    int r, g, b;
    double alpha;
};

enum class ShapeKind { kRoundedSquare, kCircle, kEllipse, kLine };

// Coordinates are fractions of the icon's side.
struct Shape {
    ShapeKind kind;
    double x, y;    // centre (circle, ellipse), top-left (square), start (line)
    double a, b;    // radius / radii / side and corner radius / end of a line
    double c, d;    // end of a line
    Colour fill;    // the line's colour for a line
    double stroke;  // a line's width
};

constexpr Colour kTile{0x2b, 0x3a, 0x4f, 1.0};
constexpr Colour kGrid{0xa9, 0xc6, 0xe8, 0.55};
constexpr Colour kRing{0x5d, 0x8f, 0xc9, 1.0};
constexpr Colour kRim{0xd8, 0xe4, 0xf2, 1.0};
constexpr Colour kGlass{0x14, 0x1c, 0x27, 1.0};
constexpr Colour kShine{0xff, 0xff, 0xff, 0.8};

constexpr Shape kShapes[] = {
    {ShapeKind::kRoundedSquare, 0.04, 0.04, 0.92, 0.18, 0, 0, kTile, 0},
    // The straight lines the correction gives back.
    {ShapeKind::kLine, 0.27, 0.10, 0, 0, 0.27, 0.90, kGrid, 0.035},
    {ShapeKind::kLine, 0.73, 0.10, 0, 0, 0.73, 0.90, kGrid, 0.035},
    {ShapeKind::kLine, 0.10, 0.27, 0, 0, 0.90, 0.27, kGrid, 0.035},
    {ShapeKind::kLine, 0.10, 0.73, 0, 0, 0.90, 0.73, kGrid, 0.035},
    {ShapeKind::kCircle, 0.5, 0.5, 0.34, 0, 0, 0, kRim, 0},
    {ShapeKind::kCircle, 0.5, 0.5, 0.30, 0, 0, 0, kRing, 0},
    {ShapeKind::kCircle, 0.5, 0.5, 0.19, 0, 0, 0, kGlass, 0},
    {ShapeKind::kEllipse, 0.43, 0.42, 0.075, 0.05, 0, 0, kShine, 0},
};

QColor ToQColor(const Colour& c) { return QColor(c.r, c.g, c.b, static_cast<int>(c.alpha * 255)); }

}  // namespace

void PaintProgramIcon(QPainter& p, double s) {
    p.setRenderHint(QPainter::Antialiasing);
    for (const Shape& shape : kShapes) {
        p.setPen(Qt::NoPen);
        p.setBrush(ToQColor(shape.fill));
        switch (shape.kind) {
            case ShapeKind::kRoundedSquare:
                p.drawRoundedRect(QRectF(shape.x * s, shape.y * s, shape.a * s, shape.a * s),
                                  shape.b * s, shape.b * s);
                break;
            case ShapeKind::kCircle:
                p.drawEllipse(QPointF(shape.x * s, shape.y * s), shape.a * s, shape.a * s);
                break;
            case ShapeKind::kEllipse:
                p.drawEllipse(QPointF(shape.x * s, shape.y * s), shape.a * s, shape.b * s);
                break;
            case ShapeKind::kLine:
                // Small icons keep their lines at least a pixel wide.
                p.setPen(QPen(ToQColor(shape.fill), std::max(1.0, shape.stroke * s)));
                p.drawLine(QPointF(shape.x * s, shape.y * s), QPointF(shape.c * s, shape.d * s));
                break;
        }
    }
}

std::string ProgramIconSvg() {
    constexpr double kSide = 256.0;
    std::string svg =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
        "viewBox=\"0 0 256 256\">\n";
    char line[256];
    for (const Shape& shape : kShapes) {
        const double x = shape.x * kSide;
        const double y = shape.y * kSide;
        const Colour& c = shape.fill;
        switch (shape.kind) {
            case ShapeKind::kRoundedSquare:
                std::snprintf(line, sizeof line,
                              "  <rect x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" "
                              "rx=\"%.2f\" fill=\"#%02x%02x%02x\" fill-opacity=\"%.2f\"/>\n",
                              x, y, shape.a * kSide, shape.a * kSide, shape.b * kSide, c.r, c.g,
                              c.b, c.alpha);
                break;
            case ShapeKind::kCircle:
                std::snprintf(line, sizeof line,
                              "  <circle cx=\"%.2f\" cy=\"%.2f\" r=\"%.2f\" fill=\"#%02x%02x%02x\" "
                              "fill-opacity=\"%.2f\"/>\n",
                              x, y, shape.a * kSide, c.r, c.g, c.b, c.alpha);
                break;
            case ShapeKind::kEllipse:
                std::snprintf(line, sizeof line,
                              "  <ellipse cx=\"%.2f\" cy=\"%.2f\" rx=\"%.2f\" ry=\"%.2f\" "
                              "fill=\"#%02x%02x%02x\" fill-opacity=\"%.2f\"/>\n",
                              x, y, shape.a * kSide, shape.b * kSide, c.r, c.g, c.b, c.alpha);
                break;
            case ShapeKind::kLine:
                std::snprintf(line, sizeof line,
                              "  <line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\" "
                              "stroke=\"#%02x%02x%02x\" stroke-opacity=\"%.2f\" "
                              "stroke-width=\"%.2f\"/>\n",
                              x, y, shape.c * kSide, shape.d * kSide, c.r, c.g, c.b, c.alpha,
                              shape.stroke * kSide);
                break;
        }
        svg += line;
    }
    svg += "</svg>\n";
    return svg;
}

}  // namespace quillon::app
