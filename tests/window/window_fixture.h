#pragma once

#include <QApplication>
#include <QColor>
#include <QLineEdit>
#include <QTest>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/window/busy_window.h"
#include "app/window/main_window.h"
#include "app/window/window_flows.h"
#include "app/window_core/control_ids.h"
#include "tests/window_core/loaded_state.h"

// A main window over a loaded program state, with the questions answered by
// the test instead of a dialog.

namespace quillon::app::testing {

class ScriptedPrompts final : public WindowPrompts {
  public:
    bool AskYesNo(QWidget*, const QString& caption, const QString& question) override {
        asked.push_back((caption + ": " + question).toStdString());
        return answer;
    }
    bool AskOkCancel(QWidget*, const QString& caption, const QString& question) override {
        asked.push_back((caption + ": " + question).toStdString());
        return answer;
    }
    std::optional<QColor> ChooseColour(QWidget*, const QColor& initial) override {
        offered = initial;
        return colour;
    }
    std::optional<QString> ChooseFolder(QWidget*, const QString&) override { return folder; }
    // The Options dialog: `editOptions` plays the user (it may change the
    // form) and answers OK or Cancel; without it the dialog is cancelled.
    bool EditOptions(QWidget*, OptionsForm& form, const settings::LanguageTable&,
                     const platform::TextSource&) override {
        ++optionsShown;
        return editOptions ? editOptions(form) : false;
    }
    void ShowAbout(QWidget*, AboutVariant variant) override { aboutShown.push_back(variant); }
    bool OpenUrl(const QUrl& url) override {
        opened.push_back(url);
        return true;
    }
    bool StartDetached(const QString& program, const QStringList& arguments,
                       const QString& startIn) override {
        started.push_back((QStringList{program, startIn} + arguments).join('|').toStdString());
        return true;
    }

    bool answer = true;
    std::vector<std::string> asked;
    std::optional<QColor> colour;
    QColor offered;
    std::optional<QString> folder;
    std::function<bool(OptionsForm&)> editOptions;
    int optionsShown = 0;
    std::vector<AboutVariant> aboutShown;
    std::vector<QUrl> opened;
    std::vector<std::string> started;
};

class WindowFixture {
  public:
    explicit WindowFixture(WindowVariant variant = WindowVariant::kEditor) : variant_(variant) {}

    // Builds and shows the window; the editor opens its first file.
    MainWindow& Open() {
        session = std::make_unique<WindowSession>(*loaded.state, loaded.sink);
        session->SetSettingsActions({[this] { ++saves; }, [this] { ++dumps; }});
        std::unique_ptr<WindowFlow> flow;
        if (variant_ == WindowVariant::kBrowser) {
            flow = std::make_unique<BrowserFlow>();
        } else {
            flow = std::make_unique<EditorFlow>();
        }
        window = std::make_unique<MainWindow>(*session, variant_, std::move(flow), busy, prompts);
        busy.SetOwner(window.get());
        window->resize(window->DesignedSize());
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        // The window's start is posted; let it run.
        QTest::qWait(50);
        return *window;
    }

    template <class T>
    T* Find(ControlId id) const {
        const std::string_view name = ControlName(id);
        return window->findChild<T*>(
            QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    }

    // Types `text` into the edit and leaves it with Enter.
    void Type(ControlId edit, const QString& text) {
        auto* line = Find<QLineEdit>(edit);
        ASSERT_NE(line, nullptr);
        line->setFocus();
        line->selectAll();
        QTest::keyClicks(line, text);
        QTest::keyClick(line, Qt::Key_Return);
    }

    int saves = 0;
    int dumps = 0;

    LoadedState loaded;
    QtBusyIndicator busy;
    ScriptedPrompts prompts;
    std::unique_ptr<WindowSession> session;
    std::unique_ptr<MainWindow> window;

  private:
    WindowVariant variant_;
};

}  // namespace quillon::app::testing
