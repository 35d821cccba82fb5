#include "app/window/preview_area.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include "app/window/drawn_images.h"

namespace quillon::app {

namespace {

QImage Wrap(const preview::DisplayImage& image) {
    return QImage(image.data(), image.width(), image.height(),
                  static_cast<qsizetype>(image.stride()), QImage::Format_RGB888);
}

}  // namespace

PreviewArea::PreviewArea(WindowSession& session, QWidget* parent)
    : QWidget(parent), session_(session) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(320, 240);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

bool PreviewArea::Zooming() const {
    return session_.ImageShown() && session_.preview().zoom.Active();
}

void PreviewArea::Refresh() {
    zoomImageValid_ = Zooming() && session_.PresentZoom(zoomImage_);
    UpdateCursor();
    update();
}

void PreviewArea::UpdateCursor() {
    if (!Zooming()) {
        unsetCursor();
        return;
    }
    setCursor(HandCursor(session_.preview().zoom.Dragging()));
}

void PreviewArea::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (!session_.ImageShown()) return;
    if (zoomImageValid_) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        // The whole region spans the area; a region cut at the image's right
        // or bottom edge covers only its share of it.
        const preview::ZoomRect& whole = session_.preview().zoom.region();
        if (whole.width <= 0 || whole.height <= 0) return;
        const QImage region = Wrap(zoomImage_);
        const int w =
            static_cast<int>(static_cast<std::int64_t>(region.width()) * width() / whole.width);
        const int h =
            static_cast<int>(static_cast<std::int64_t>(region.height()) * height() / whole.height);
        painter.drawImage(QRect(0, 0, w, h), region, region.rect());
        return;
    }
    const preview::PreviewPlacement& placement = session_.preview().placement;
    const preview::DisplayImage& display = session_.preview().renderer.Display();
    if (placement.Empty() || display.empty()) return;
    painter.drawImage(QPoint(placement.left, placement.top), Wrap(display));
    painter.setPen(Qt::black);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(placement.left - 1, placement.top - 1, display.width() + 1,
                     display.height() + 1);
}

void PreviewArea::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled() || !session_.ImageShown()) return;
    if (Zooming()) {
        const QPoint at = event->position().toPoint();
        session_.preview().zoom.BeginDrag(at.x(), at.y());
        UpdateCursor();
        return;
    }
    if (!session_.PreviewOn()) return;
    comparing_ = true;
    session_.SetComparing(true);
    update();
}

void PreviewArea::mouseMoveEvent(QMouseEvent* event) {
    preview::PreviewState& state = session_.preview();
    if (!Zooming() || !state.zoom.Dragging()) return;
    const QPoint at = event->position().toPoint();
    state.zoom.DragTo(at.x(), at.y(), state.fullSize.Image(), session_.sink());
    Refresh();
    emit regionMoved();
}

void PreviewArea::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (comparing_) {
        comparing_ = false;
        session_.SetComparing(false);
        update();
        return;
    }
    preview::PreviewState& state = session_.preview();
    if (!state.zoom.Dragging()) return;
    state.zoom.EndDrag();
    session_.CorrectZoomRegion();
    Refresh();
    emit regionMoved();
}

}  // namespace quillon::app
