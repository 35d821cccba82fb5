#pragma once

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QObject>
#include <QSlider>
#include <QWheelEvent>

#include "app/window_core/value_rules.h"

// One value of the window as the user sees it: a label, a slider and an edit
// box that show the same integer. The rules (formats, typed text, steps) are
// those of value_rules.h; this class only connects them to the widgets. It
// does not store the value: the window does, and tells the control what to
// show. Every change the user makes arrives as valueChosen.

namespace quillon::app {

class ValueControl : public QObject {
    Q_OBJECT

  public:
    // Creates the three widgets as children of `parent`; the caller lays them out.
    ValueControl(const ValueControlInfo& info, const QString& labelText, QWidget* parent);

    const ValueControlInfo& info() const { return info_; }
    QLabel* label() const { return label_; }
    QSlider* slider() const { return slider_; }
    QLineEdit* edit() const { return edit_; }

    // Shows `value` in both widgets without reporting it back.
    void Show(std::int32_t value);
    void SetEnabled(bool enabled);

  signals:
    void valueChosen(quillon::app::ValueKey key, std::int32_t value);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CommitText();
    void Step(std::int32_t step);
    void Choose(std::int32_t value);

    ValueControlInfo info_;
    QLabel* label_;
    QSlider* slider_;
    QLineEdit* edit_;
    std::int32_t shown_ = 0;
    WheelNotches sliderWheel_;
    WheelNotches editWheel_;
};

// Sets a widget's object name from its control identifier.
void NameControl(QWidget* widget, ControlId id);

// The step a key asks for: Up and Right +1, Down and Left -1, ten times as
// much with Shift; 0 for any other key.
std::int32_t KeyStep(const QKeyEvent& key);
// The steps of a wheel movement, its notches collected by `notches`. Some
// systems turn a wheel held with a modifier into a sideways one; either way
// one notch is one step (ten with Shift).
std::int32_t WheelSteps(const QWheelEvent& wheel, WheelNotches& notches);

}  // namespace quillon::app
