// The program's windows besides the main one and the services around them:
// the busy window, the first-run language window, the single instance, the
// message sink and the pictures drawn in code.

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <set>
#include <thread>

#include "app/window/drawn_images.h"
#include "app/window/language_window.h"
#include "app/window/message_box_sink.h"
#include "app/window/single_instance.h"
#include "settings/languages.h"
#include "tests/window/window_fixture.h"
#include "text/string_table.h"

namespace quillon::app {
namespace {

TEST(BusyWindowTest, RunsTheWorkOffTheWindowsThreadAndOnlyOnceAtATime) {
    QtBusyIndicator busy;
    const std::thread::id windowThread = std::this_thread::get_id();
    std::thread::id workThread;
    int nested = -1;
    QString shownText;
    int barValue = -1;
    const int result = busy.Run("Correcting image...", [&](engine::WorkProgress& progress) {
        workThread = std::this_thread::get_id();
        progress.ExpectStages(2);
        progress.BeginStage(10);
        progress.AddRows(10);
        progress.BeginStage(10);
        // A second correction while one runs is refused.
        nested = busy.Run("again", [](engine::WorkProgress&) { return 0; });
        // The window shows the text and keeps drawing: its bar moves.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        QMetaObject::invokeMethod(
            qApp,
            [&] {
                for (QWidget* w : QApplication::topLevelWidgets()) {
                    if (auto* label = w->findChild<QLabel*>("BusyText")) shownText = label->text();
                    if (auto* bar = w->findChild<QProgressBar*>("BusyProgress")) {
                        barValue = bar->value();
                    }
                }
            },
            Qt::BlockingQueuedConnection);
        return 7;
    });
    EXPECT_EQ(result, 7);
    EXPECT_NE(workThread, windowThread);
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(shownText, "Correcting image...");
    EXPECT_EQ(barValue, 500);  // one of two stages done
    EXPECT_FALSE(busy.Running());
}

TEST(BusyWindowTest, MemoryRunningOutInTheWorkReachesTheCaller) {
    QtBusyIndicator busy;
    EXPECT_THROW(busy.Run("x", [](engine::WorkProgress&) -> int { throw std::bad_alloc(); }),
                 std::bad_alloc);
    EXPECT_FALSE(busy.Running());
}

// Answers the modal language window the moment it is open.
template <class Act>
void WhenModalOpens(Act act) {
    QTimer::singleShot(0, [act] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        act(*dialog);
    });
}

class LanguageWindowTest : public ::testing::Test {
  protected:
    LanguageWindowTest() {
        text::StringTable strings;
        settings::LoadLanguageList(table, strings, sink);
    }
    settings::LanguageTable table;
    platform::CapturingSink sink;
    QtLanguagePrompt prompt;
};

TEST_F(LanguageWindowTest, OkTakesTheChosenLanguageAndTheClampedProcessors) {
    WhenModalOpens([](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Welcome...");
        auto* list = dialog.findChild<QComboBox*>("1035");
        auto* processors = dialog.findChild<QLineEdit*>("1111");
        ASSERT_NE(list, nullptr);
        ASSERT_NE(processors, nullptr);
        EXPECT_EQ(list->currentText(), "English");
        EXPECT_EQ(processors->text(), "4");
        list->setCurrentIndex(list->findText("German"));
        processors->selectAll();
        QTest::keyClicks(processors, "200");
        // OK takes the field as leaving it would: brought into 1 .. 64.
        dialog.findChild<QPushButton*>("1")->click();
        EXPECT_EQ(processors->text(), "64");
    });
    const settings::LanguageChoice choice = prompt.Ask(table, 4);
    EXPECT_EQ(choice.language, "German");
    EXPECT_EQ(choice.processors, 64);
}

TEST_F(LanguageWindowTest, ClosingTheWindowChoosesEnglishAndKeepsTheProcessors) {
    WhenModalOpens([](QDialog& dialog) {
        dialog.findChild<QComboBox*>("1035")->setCurrentIndex(0);
        auto* processors = dialog.findChild<QLineEdit*>("1111");
        processors->selectAll();
        QTest::keyClicks(processors, "0");
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    const settings::LanguageChoice choice = prompt.Ask(table, 6);
    EXPECT_EQ(choice.language, "English");
    EXPECT_EQ(choice.processors, 6);
}

// The second start runs on a thread of its own, as another process would,
// while this one keeps answering.
SingleInstance::Claim SecondStart(const QString& folder) {
    std::atomic<bool> done{false};
    SingleInstance::Claim claim = SingleInstance::Claim::kFirst;
    std::thread second([&] {
        SingleInstance other(folder);
        claim = other.ClaimOrHandOver();
        done = true;
    });
    while (!done) QTest::qWait(10);
    second.join();
    return claim;
}

TEST(SingleInstanceTest, SecondStartRaisesTheFirstWindowOrGoesOnWithoutOne) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    SingleInstance first(folder.path());
    ASSERT_EQ(first.ClaimOrHandOver(), SingleInstance::Claim::kFirst);

    // While the first start shows no window there is nothing to hand over to.
    EXPECT_EQ(SecondStart(folder.path()), SingleInstance::Claim::kAlone);

    QWidget window;
    window.showMinimized();
    first.SetWindow(&window);
    EXPECT_EQ(SecondStart(folder.path()), SingleInstance::Claim::kHandedOver);
    EXPECT_FALSE(window.isMinimized());
}

TEST(SingleInstanceTest, LockOfAStartThatEndedIsTakenOver) {
    QTemporaryDir folder;
    {
        SingleInstance first(folder.path());
        ASSERT_EQ(first.ClaimOrHandOver(), SingleInstance::Claim::kFirst);
    }
    SingleInstance next(folder.path());
    EXPECT_EQ(next.ClaimOrHandOver(), SingleInstance::Claim::kFirst);
}

TEST(MessageSinkTest, WithoutAWindowMessagesStayOnTheOtherSink) {
    platform::CapturingSink lines;
    WindowMessageSink sink(lines);
    sink.Show("Quillon: error, file not found: a.jpg");
    EXPECT_EQ(lines.Last(), "Quillon: error, file not found: a.jpg");
    // With a window it is a box the user answers; the lines stay untouched.
    sink.SetWindowRunning(true);
    QTimer::singleShot(0, [] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), "Info");
        QTest::keyClick(box, Qt::Key_Return);
    });
    sink.Show("Batch job aborted");
    EXPECT_EQ(lines.Count(), 1u);
}

TEST(DrawnImagesTest, EveryFaceOfTheShiftButtonIsItsOwn) {
    std::set<qint64> keys;
    std::vector<QImage> faces;
    for (ShiftFace face :
         {ShiftFace::kUnselected, ShiftFace::kTop, ShiftFace::kBottom, ShiftFace::kLeft,
          ShiftFace::kRight, ShiftFace::kCentre, ShiftFace::kDisabled}) {
        const QImage image = ShiftButtonFace(face).toImage();
        EXPECT_EQ(image.size(), QSize(47, 47));
        for (const QImage& other : faces) EXPECT_NE(image, other);
        faces.push_back(image);
    }
    // The pressed part is the one highlighted: the top face differs from the
    // plain one near the top edge, not near the bottom.
    EXPECT_NE(faces[1].pixel(23, 12), faces[0].pixel(23, 12));
    EXPECT_EQ(faces[1].pixel(23, 35), faces[0].pixel(23, 35));

    for (bool clockwise : {false, true}) {
        const QImage normal = RotationFace(clockwise, ButtonLook::kNormal).toImage();
        EXPECT_EQ(normal.size(), QSize(24, 24));
        EXPECT_NE(normal, RotationFace(clockwise, ButtonLook::kPressed).toImage());
        EXPECT_NE(normal, RotationFace(clockwise, ButtonLook::kDisabled).toImage());
        EXPECT_NE(normal, RotationFace(!clockwise, ButtonLook::kNormal).toImage());
    }
    EXPECT_NE(HandCursor(false).pixmap().toImage(), HandCursor(true).pixmap().toImage());
}

}  // namespace
}  // namespace quillon::app
