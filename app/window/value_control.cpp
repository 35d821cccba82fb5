#include "app/window/value_control.h"

#include <QSignalBlocker>

namespace quillon::app {

void NameControl(QWidget* widget, ControlId id) {
    widget->setObjectName(
        QString::fromUtf8(ControlName(id).data(), static_cast<qsizetype>(ControlName(id).size())));
    widget->setProperty("controlId", static_cast<int>(id));
}

std::int32_t KeyStep(const QKeyEvent& key) {
    const bool shift = key.modifiers().testFlag(Qt::ShiftModifier);
    switch (key.key()) {
        case Qt::Key_Up:
        case Qt::Key_Right:
            return StepSize(true, shift);
        case Qt::Key_Down:
        case Qt::Key_Left:
            return StepSize(false, shift);
        default:
            return 0;
    }
}

std::int32_t WheelSteps(const QWheelEvent& wheel, WheelNotches& notches) {
    const QPoint delta = wheel.angleDelta();
    const bool shift = wheel.modifiers().testFlag(Qt::ShiftModifier);
    return notches.Add(delta.y() != 0 ? delta.y() : delta.x()) * StepSize(true, shift);
}

ValueControl::ValueControl(const ValueControlInfo& info, const QString& labelText, QWidget* parent)
    : QObject(parent),
      info_(info),
      label_(new QLabel(labelText, parent)),
      slider_(new QSlider(Qt::Horizontal, parent)),
      edit_(new QLineEdit(parent)) {
    NameControl(slider_, info.slider);
    NameControl(edit_, info.edit);
    label_->setObjectName(slider_->objectName().replace("Slider", "Label"));
    label_->setBuddy(edit_);
    slider_->setAccessibleName(labelText);
    edit_->setAccessibleName(labelText);
    label_->setAccessibleName(labelText);

    slider_->setRange(info.range.minimum, info.range.maximum);
    slider_->setSingleStep(1);
    slider_->setPageStep(10);
    slider_->setMinimumWidth(120);
    edit_->setFixedWidth(64);
    edit_->setAlignment(Qt::AlignRight);

    slider_->installEventFilter(this);
    edit_->installEventFilter(this);
    // Every movement of the slider counts at once, also while its thumb is
    // dragged, so the preview follows the mouse.
    connect(slider_, &QSlider::valueChanged, this, [this](int value) { Choose(value); });
    Show(info.range.minimum);
}

void ValueControl::Show(std::int32_t value) {
    shown_ = value;
    const QSignalBlocker blocker(slider_);
    slider_->setValue(value);
    edit_->setText(QString::fromStdString(FormatValue(info_.range.format, value)));
}

void ValueControl::SetEnabled(bool enabled) {
    label_->setEnabled(enabled);
    slider_->setEnabled(enabled);
    edit_->setEnabled(enabled);
}

void ValueControl::Choose(std::int32_t value) {
    if (value == shown_) return;
    emit valueChosen(info_.key, value);
}

void ValueControl::CommitText() {
    const TypedOutcome outcome = CommitTypedText(info_.range, shown_, edit_->text().toStdString());
    edit_->setText(QString::fromStdString(outcome.text));
    if (outcome.selectAll) edit_->selectAll();
    if (outcome.accepted) Choose(outcome.value);
}

void ValueControl::Step(std::int32_t step) { Choose(StepValue(info_.range, shown_, step)); }

bool ValueControl::eventFilter(QObject* watched, QEvent* event) {
    const bool isEdit = watched == edit_;
    switch (event->type()) {
        case QEvent::KeyPress: {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (const std::int32_t step = KeyStep(*key); step != 0) {
                Step(step);
                return true;
            }
            if (isEdit && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
                CommitText();
                return true;
            }
            break;
        }
        case QEvent::FocusOut:
            if (isEdit) CommitText();
            break;
        case QEvent::Wheel: {
            const std::int32_t step =
                WheelSteps(*static_cast<QWheelEvent*>(event), isEdit ? editWheel_ : sliderWheel_);
            if (step != 0) Step(step);
            return true;
        }
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace quillon::app
