#include "app/window/shift_button_widget.h"

#include <QMouseEvent>
#include <QPainter>

#include "app/window/drawn_images.h"

namespace quillon::app {

namespace {

ShiftFace FaceOf(ShiftDirection direction) {
    switch (direction) {
        case ShiftDirection::kTop:
            return ShiftFace::kTop;
        case ShiftDirection::kBottom:
            return ShiftFace::kBottom;
        case ShiftDirection::kLeft:
            return ShiftFace::kLeft;
        case ShiftDirection::kRight:
            return ShiftFace::kRight;
        case ShiftDirection::kCentre:
            return ShiftFace::kCentre;
        case ShiftDirection::kNone:
            break;
    }
    return ShiftFace::kUnselected;
}

}  // namespace

ShiftButtonWidget::ShiftButtonWidget(QWidget* parent) : QWidget(parent) {
    setFixedSize(kShiftButtonSize, kShiftButtonSize);
    setFocusPolicy(Qt::StrongFocus);
    connect(&repeat_, &QTimer::timeout, this, [this] {
        repeat_.setInterval(kShiftRepeatMs);
        if (pressed_ != ShiftDirection::kNone) emit stepped(pressed_);
    });
}

void ShiftButtonWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const ShiftFace face = isEnabled() ? FaceOf(pressed_) : ShiftFace::kDisabled;
    painter.drawPixmap(0, 0, ShiftButtonFace(face));
}

void ShiftButtonWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint at = event->position().toPoint();
    const ShiftDirection direction = ShiftDirectionAt(at.x(), at.y());
    if (direction == ShiftDirection::kNone) return;
    setFocus(Qt::MouseFocusReason);
    pressed_ = direction;
    update();
    repeat_.start(kShiftFirstRepeatMs);
    emit stepped(direction);
}

void ShiftButtonWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) Release();
}

void ShiftButtonWidget::changeEvent(QEvent* event) {
    // Disabled while held (the last step made the perspective neutral): the
    // repeat must not go on behind the user's back.
    if (event->type() == QEvent::EnabledChange && !isEnabled()) Release();
    QWidget::changeEvent(event);
}

void ShiftButtonWidget::Release() {
    repeat_.stop();
    pressed_ = ShiftDirection::kNone;
    update();
}

}  // namespace quillon::app
