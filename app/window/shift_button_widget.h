#pragma once

#include <QTimer>
#include <QWidget>

#include "app/window_core/shift_button.h"

// The perspective shift button. A press steps at once in the direction of the
// part pressed; held, it repeats after a pause, so a click is one step and a
// hold moves the crop steadily. It shows the pressed part while the mouse is
// down.

namespace quillon::app {

class ShiftButtonWidget : public QWidget {
    Q_OBJECT

  public:
    explicit ShiftButtonWidget(QWidget* parent = nullptr);

    ShiftDirection Pressed() const { return pressed_; }

  signals:
    void stepped(quillon::app::ShiftDirection direction);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void Release();

    ShiftDirection pressed_ = ShiftDirection::kNone;
    QTimer repeat_;
};

}  // namespace quillon::app
