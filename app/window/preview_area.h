#pragma once

#include <QWidget>

#include "app/window_core/window_session.h"
#include "preview/display_image.h"

// The preview area: the fitted preview unscaled in the middle of the area with
// a one-pixel black frame, or in the zoom view the region of the full-size
// photo stretched over the whole area. Pressing the mouse on the fitted view
// shows the photo uncorrected until the button is let go; in the zoom view the
// mouse drags the region.

namespace quillon::app {

class PreviewArea : public QWidget {
    Q_OBJECT

  public:
    PreviewArea(WindowSession& session, QWidget* parent = nullptr);

    // Something the area shows changed: takes the zoom region anew and repaints.
    void Refresh();

  signals:
    // The user dragged the zoom region; the scroll bars follow.
    void regionMoved();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    bool Zooming() const;
    void UpdateCursor();

    WindowSession& session_;
    preview::DisplayImage zoomImage_;
    bool zoomImageValid_ = false;
    bool comparing_ = false;
};

}  // namespace quillon::app
