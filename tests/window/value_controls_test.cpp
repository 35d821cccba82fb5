// The value controls, tab pages and other controls of the main window, driven
// through their widgets as a user would.

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSlider>
#include <QTabBar>
#include <QWheelEvent>

#include "tests/window/window_fixture.h"

namespace quillon::app {
namespace {

using testing::kRecognisedPhoto;
using testing::WindowFixture;

class ValueControlsTest : public ::testing::Test {
  protected:
    // The editor on a recognised photo, on the page `tab`.
    MainWindow& OpenOnPage(int tab) {
        fixture.loaded.state->stored.values.tab = tab;
        fixture.loaded.state->start.fileList.paths = {fixture.loaded.Copy(kRecognisedPhoto)};
        MainWindow& window = fixture.Open();
        EXPECT_TRUE(fixture.session->ImageShown()) << fixture.loaded.sink.Last();
        return window;
    }
    QString EditText(ControlId id) { return fixture.Find<QLineEdit>(id)->text(); }
    const engine::CorrectionSettings& Values() { return fixture.loaded.state->stored.correction; }

    WindowFixture fixture;
};

TEST_F(ValueControlsTest, TypedChromaticAberrationIsRoundedAndShownInItsFormat) {
    OpenOnPage(kTabChromaticAberration);
    fixture.Type(ControlId::kCaRedEdit, "0.00015");
    EXPECT_EQ(Values().CaRed, 1);
    EXPECT_EQ(EditText(ControlId::kCaRedEdit), "+0.0001");
    EXPECT_EQ(fixture.Find<QSlider>(ControlId::kCaRedSlider)->value(), 1);
    fixture.Type(ControlId::kCaRedEdit, "-0.00015");
    EXPECT_EQ(Values().CaRed, -1);
    EXPECT_EQ(EditText(ControlId::kCaRedEdit), "-0.0001");
}

TEST_F(ValueControlsTest, ZoomTakesPercentagesAndRefusesTooMuch) {
    OpenOnPage(kTabChromaticAberration);
    fixture.Type(ControlId::kCaZoomEdit, "250");
    EXPECT_EQ(fixture.session->Value(ValueKey::kCaZoom), 16);
    EXPECT_EQ(EditText(ControlId::kCaZoomEdit), "250%");
    EXPECT_TRUE(fixture.Find<QScrollBar>(ControlId::kHorizontalScrollBar)->isVisible());

    fixture.Type(ControlId::kCaZoomEdit, "900");
    EXPECT_EQ(fixture.session->Value(ValueKey::kCaZoom), 16);
    // The current value comes back, fully selected for the next try.
    auto* edit = fixture.Find<QLineEdit>(ControlId::kCaZoomEdit);
    EXPECT_EQ(edit->text(), "250%");
    EXPECT_EQ(edit->selectedText(), "250%");

    // The zoom view's region is dragged with the hand cursors.
    auto* area = fixture.Find<QWidget>(ControlId::kPreviewArea);
    EXPECT_EQ(area->cursor().shape(), Qt::BitmapCursor);
    const preview::ZoomRect before = fixture.session->preview().zoom.region();
    QTest::mousePress(area, Qt::LeftButton, {}, QPoint(200, 200));
    QTest::mouseMove(area, QPoint(150, 170));
    QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(150, 170));
    const preview::ZoomRect after = fixture.session->preview().zoom.region();
    EXPECT_GT(after.left, before.left);  // the region moves against the mouse
    EXPECT_GT(after.top, before.top);
    EXPECT_EQ(fixture.Find<QScrollBar>(ControlId::kHorizontalScrollBar)->value(), after.left);
}

TEST_F(ValueControlsTest, KeysAndWheelStepWithinTheRange) {
    OpenOnPage(kTabVignetting);
    auto* edit = fixture.Find<QLineEdit>(ControlId::kVigAmountEdit);
    fixture.Type(ControlId::kVigAmountEdit, "95");
    QTest::keyClick(edit, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(Values().VigAmount, 100);  // not 105
    EXPECT_EQ(edit->text(), "100");
    QTest::keyClick(edit, Qt::Key_Left);
    QTest::keyClick(edit, Qt::Key_Down);
    EXPECT_EQ(Values().VigAmount, 98);

    auto* slider = fixture.Find<QSlider>(ControlId::kVigAmountSlider);
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(Values().VigAmount, 88);
    const auto wheel = [&](int delta, Qt::KeyboardModifiers modifiers) {
        const QPointF at(slider->width() / 2.0, slider->height() / 2.0);
        QWheelEvent event(at, slider->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(slider, &event);
    };
    wheel(120, Qt::NoModifier);
    EXPECT_EQ(Values().VigAmount, 89);
    wheel(-120, Qt::ShiftModifier);
    EXPECT_EQ(Values().VigAmount, 79);
    // Moving the slider itself stores at once and shows it in the edit.
    slider->setValue(-30);
    EXPECT_EQ(Values().VigAmount, -30);
    EXPECT_EQ(edit->text(), "-30");
}

TEST_F(ValueControlsTest, FocalLengthStepsInMillimetresAndTakesWhatIsTyped) {
    OpenOnPage(kTabVignetting);
    auto* focal = fixture.Find<QLineEdit>(ControlId::kFocalEdit);
    ASSERT_TRUE(focal->isEnabled());
    EXPECT_EQ(focal->text(), "24.000");
    QTest::keyClick(focal, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(focal->text(), "34.000");
    QTest::keyClick(focal, Qt::Key_Left);
    EXPECT_EQ(focal->text(), "33.000");
    fixture.Type(ControlId::kFocalEdit, "18.5");
    EXPECT_EQ(focal->text(), "18.500");
    EXPECT_FLOAT_EQ(fixture.loaded.state->current.selection.focalInUse, 18.5f);
    // The label names the lens's calibrated range.
    EXPECT_EQ(fixture.Find<QLabel>(ControlId::kFocalLabel)->text(),
              "focal length (14.000 - 42.000)");
}

TEST_F(ValueControlsTest, LeavingAnEditTakesItsTextAndDiscardsNonsense) {
    OpenOnPage(kTabPerspective);
    auto* edit = fixture.Find<QLineEdit>(ControlId::kPerspectRotateEdit);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "-2.5");
    // Leaving the edit counts like Enter.
    fixture.Find<QLineEdit>(ControlId::kPerspectVertEdit)->setFocus();
    EXPECT_EQ(Values().PerspectRotate, -25);
    EXPECT_EQ(edit->text(), "-2.5");

    fixture.Type(ControlId::kPerspectRotateEdit, "lots");
    EXPECT_EQ(Values().PerspectRotate, -25);
    EXPECT_EQ(edit->text(), "-2.5");
    EXPECT_EQ(edit->selectedText(), "-2.5");
}

TEST(ValueControlsOpeningTest, StoredFisheyeDistortionOutsideItsRangeShowsTheSmallest) {
    WindowFixture fixture;
    fixture.loaded.state->stored.correction.FisheyeDistortion = 20;
    fixture.Open();
    EXPECT_EQ(fixture.Find<QLineEdit>(ControlId::kFisheyeDistortionEdit)->text(), "50");
    EXPECT_EQ(fixture.Find<QSlider>(ControlId::kFisheyeDistortionSlider)->value(), 50);
}

TEST_F(ValueControlsTest, OnlyTheCurrentTabPageExists) {
    MainWindow& window = OpenOnPage(kTabVignetting);
    auto* tabs = fixture.Find<QTabBar>(ControlId::kTabs);
    ASSERT_NE(tabs, nullptr);
    EXPECT_NE(fixture.Find<QSlider>(ControlId::kVigAmountSlider), nullptr);
    EXPECT_EQ(fixture.Find<QSlider>(ControlId::kPerspectVertSlider), nullptr);

    // A value typed on a page counts when the page is left.
    auto* amount = fixture.Find<QLineEdit>(ControlId::kVigAmountEdit);
    amount->setFocus();
    amount->selectAll();
    QTest::keyClicks(amount, "12");
    tabs->setCurrentIndex(kTabPerspective);
    EXPECT_EQ(Values().VigAmount, 12);
    EXPECT_EQ(fixture.Find<QSlider>(ControlId::kVigAmountSlider), nullptr);
    EXPECT_NE(fixture.Find<QSlider>(ControlId::kPerspectVertSlider), nullptr);
    EXPECT_EQ(fixture.loaded.state->stored.values.tab, kTabPerspective);

    // The shift button comes alive with a perspective value, steps at once
    // when pressed, and repeats while held.
    auto* shift = fixture.Find<QWidget>(ControlId::kShiftButton);
    EXPECT_FALSE(shift->isEnabled());
    fixture.Type(ControlId::kPerspectVertEdit, "20");
    EXPECT_TRUE(shift->isEnabled());
    QTest::mousePress(shift, Qt::LeftButton, {}, QPoint(23, 3));
    EXPECT_EQ(Values().PerspectShiftVert, -1);
    QTest::qWait(650);
    QTest::mouseRelease(shift, Qt::LeftButton, {}, QPoint(23, 3));
    const std::int32_t held = Values().PerspectShiftVert;
    EXPECT_LT(held, -2);
    QTest::qWait(100);
    EXPECT_EQ(Values().PerspectShiftVert, held);
    QTest::mouseClick(shift, Qt::LeftButton, {}, QPoint(23, 23));
    EXPECT_EQ(Values().PerspectShiftVert, 0);
    (void)window;
}

// The parts Qt builds inside its own widgets (the scroll bars of a text box,
// the buttons of a tab bar) have no names of ours.
bool PartOfAQtWidget(const QWidget* widget, const QWidget* window) {
    for (const QWidget* up = widget->parentWidget(); up != nullptr && up != window;
         up = up->parentWidget()) {
        if (up->objectName().startsWith("qt_") || qobject_cast<const QComboBox*>(up) != nullptr ||
            qobject_cast<const QAbstractScrollArea*>(up) != nullptr ||
            qobject_cast<const QTabBar*>(up) != nullptr) {
            return true;
        }
    }
    return widget->objectName().startsWith("qt_");
}

TEST_F(ValueControlsTest, EveryControlCarriesItsIdentifierAndAnAccessibleName) {
    MainWindow& window = OpenOnPage(kTabPerspective);
    int controls = 0;
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(widget) != nullptr ||
                             qobject_cast<QAbstractSlider*>(widget) != nullptr ||
                             qobject_cast<QLineEdit*>(widget) != nullptr ||
                             qobject_cast<QComboBox*>(widget) != nullptr ||
                             qobject_cast<QListWidget*>(widget) != nullptr ||
                             qobject_cast<QPlainTextEdit*>(widget) != nullptr ||
                             qobject_cast<QTabBar*>(widget) != nullptr;
        if (!control || PartOfAQtWidget(widget, &window)) continue;
        ++controls;
        EXPECT_FALSE(widget->objectName().isEmpty()) << widget->metaObject()->className();
        EXPECT_FALSE(widget->accessibleName().isEmpty()) << widget->objectName().toStdString();
        EXPECT_TRUE(widget->property("controlId").isValid()) << widget->objectName().toStdString();
    }
    EXPECT_GT(controls, 30);
}

TEST_F(ValueControlsTest, GridColourIsChosenAndShownOnlyWithAGrid) {
    OpenOnPage(kTabVignetting);
    fixture.prompts.colour = QColor(0, 0, 255);
    fixture.Find<QAbstractButton>(ControlId::kGridColorButton)->click();
    EXPECT_EQ(fixture.prompts.offered, QColor(255, 0, 0));  // the stored default, red
    // Stored as the colour value with red in the lowest byte.
    EXPECT_EQ(fixture.loaded.state->stored.values.gridColor, 0xff0000);
    auto* grid = fixture.Find<QSlider>(ControlId::kGridSlider);
    grid->setValue(40);
    EXPECT_EQ(fixture.session->Grid(), 40);
    // A grid 40 px apart is drawn into the preview in blue.
    const preview::DisplayImage& display = fixture.session->preview().renderer.Display();
    const std::uint8_t* centre = display.Row(display.height() / 2) + 3 * (display.width() / 2);
    EXPECT_EQ(centre[0], 0);
    EXPECT_EQ(centre[2], 255);
}

}  // namespace
}  // namespace quillon::app
