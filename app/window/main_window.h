#pragma once

#include <QAbstractButton>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QStringList>
#include <QTabBar>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "app/startup.h"
#include "app/window/about_dialog.h"
#include "app/window/busy_window.h"
#include "app/window/preview_area.h"
#include "app/window/shift_button_widget.h"
#include "app/window/value_control.h"
#include "app/window_core/menus.h"
#include "app/window_core/options_form.h"
#include "app/window_core/window_session.h"
#include "app/window_core/window_variant.h"

// The main window: the preview with its scroll bars, the information box, the
// camera and lens menus, the tab pages of vignetting, perspective and
// chromatic aberration, the correction kind, the fisheye values, the grid and
// the buttons of the variant. It shows what its WindowSession holds and hands
// every user action to it; what the buttons at the bottom right do is the
// variant's WindowFlow.

namespace quillon::app {

class MainWindow;

// Reading a photo and making its preview takes a few tenths of a second for a
// large one; the window says it is working meanwhile.
class WaitCursor {
  public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// What differs between the variants beyond their controls: what happens when
// the window has opened and what the buttons do.
class WindowFlow {
  public:
    virtual ~WindowFlow() = default;
    virtual void Start(MainWindow& window) { (void)window; }
    virtual void Ok(MainWindow& window) = 0;      // "Apply" or "OK"
    virtual void Cancel(MainWindow& window) = 0;  // "Exit" or "Cancel"
    // The folder browser's own controls and menu entries.
    virtual void ChooseDirectory(MainWindow& window) { (void)window; }
    virtual void DeleteSelected(MainWindow& window) { (void)window; }
    virtual void SelectionChanged(MainWindow& window) { (void)window; }
    virtual void SelectAll(MainWindow& window) { (void)window; }
    virtual void Refresh(MainWindow& window) { (void)window; }
    virtual void OpenInViewer(MainWindow& window) { (void)window; }
};

// The questions the window asks and the desktop's services it calls; tests
// answer and record them without a dialog or another program.
class WindowPrompts {
  public:
    virtual ~WindowPrompts() = default;
    virtual bool AskYesNo(QWidget* parent, const QString& caption, const QString& question);
    virtual bool AskOkCancel(QWidget* parent, const QString& caption, const QString& question);
    virtual std::optional<QColor> ChooseColour(QWidget* parent, const QColor& initial);
    virtual std::optional<QString> ChooseFolder(QWidget* parent, const QString& start);
    // The Options dialog over `form`; true when closed with OK.
    virtual bool EditOptions(QWidget* parent, OptionsForm& form,
                             const settings::LanguageTable& languages,
                             const platform::TextSource& texts);
    virtual void ShowAbout(QWidget* parent, AboutVariant variant);
    // The desktop's opener (the help file, a web address).
    virtual bool OpenUrl(const QUrl& url);
    // Starts a program without waiting for it.
    virtual bool StartDetached(const QString& program, const QStringList& arguments,
                               const QString& folder);
    // Into the user's trash, from where the desktop can restore it.
    virtual bool MoveToTrash(const QString& path);
};

// The grid colour button: filled with the colour, or with the face of the
// window while the grid is off.
class ColourButton : public QPushButton {
  public:
    explicit ColourButton(QWidget* parent);
    void SetColour(const QColor& colour, bool gridOn);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor colour_;
    bool gridOn_ = false;
};

// A button that shows one of three pictures: disabled, normal, pressed.
class PictureButton : public QAbstractButton {
  public:
    PictureButton(bool clockwise, QWidget* parent);
    QSize sizeHint() const override { return {24, 24}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    bool clockwise_;
};

class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    MainWindow(WindowSession& session, WindowVariant variant, std::unique_ptr<WindowFlow> flow,
               QtBusyIndicator& busy, WindowPrompts& prompts, QWidget* parent = nullptr);
    ~MainWindow() override;

    WindowSession& session() { return session_; }
    WindowPrompts& prompts() { return prompts_; }
    QtBusyIndicator& busy() { return busy_; }
    WindowVariant variant() const { return variant_; }

    // ---- the folder browser's list

    // Shows `names` in the list's order, none selected, without telling the flow.
    void ShowFileNames(const std::vector<std::string>& names);
    std::vector<int> SelectedRows() const;
    // Selects `rows`; with `tell` the flow hears of it as of a selection by
    // the user, else nothing happens but the selection.
    void SelectRows(const std::vector<int>& rows, bool tell);
    void FocusFileList();

    // ---- menus and dialogs

    // Carries out a menu entry or its accelerator, when it may be used now.
    void RunCommand(MenuCommand command);
    // The menu bar's entry for `command`; null when the variant has none.
    QAction* MenuAction(MenuCommand command) const;
    // Opens the Options dialog of the variant and applies what it returns.
    void EditOptions();
    // Opens the help file with the desktop's handler; nothing when it is missing.
    void OpenHelp();

    // The size the window is designed for, and its smallest.
    QSize DesignedSize() const;
    // Shows the window at its remembered size (kept within the designed size
    // and the screen), centred, maximised when it was.
    void ShowPlaced();

    // Shows everything the session holds: values, menus, texts, enabling and
    // the preview. Called after every change.
    void RefreshAll();
    void SetStatusText(const QString& text);
    QString StatusText() const;

    // The preview area's size goes to the session at once (the window's own
    // resizing is followed with a short delay).
    void SyncArea();
    // Opens the next file of the editor's list and shows its place in it.
    bool OpenNextFile();

    // Corrects the full image and writes it with the busy window shown; the
    // window cannot start a second one meanwhile. 0 when written.
    int CorrectAndWrite(const imageio::ImageFileOptions& options);
    // Runs `work` (which shows the busy window itself) with the window busy:
    // nothing renders and every control is disabled. Answers work's result;
    // 1 without running it when the window is busy already.
    int WhileBusy(const std::function<int()>& work);

    // Ends the window with `result`.
    void Finish(int result);
    int Result() const { return result_; }

    // A string of the language in use.
    QString Text(int id) const;

  signals:
    void finished(int result);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildControls();
    QWidget* BuildRightColumn();
    QWidget* BuildBottomRow();
    QGroupBox* BuildFisheyeGroup();
    QGroupBox* BuildCorrectGroup();
    QWidget* BuildLensGroup();
    QWidget* BuildTabs();
    QWidget* BuildPage(int tab);
    void ShowPage(int tab);
    ValueControl* AddValueControl(ValueKey key, QWidget* parent, QGridLayout* layout, int row);
    QPushButton* AddButton(ControlId id, const QString& text, QWidget* parent);

    void OnValueChosen(ValueKey key, std::int32_t value);
    void RefreshValues();
    void RefreshLens();
    void RefreshEnabling();
    void RefreshScrollBars();
    void RememberSize();
    // Builds the menu bar again: the viewer's name may have changed.
    void BuildMenuBar();
    void BuildAccelerators();

    WindowSession& session_;
    WindowVariant variant_;
    VariantTraits traits_;
    std::unique_ptr<WindowFlow> flow_;
    QtBusyIndicator& busy_;
    WindowPrompts& prompts_;
    int result_ = 0;
    bool finished_ = false;

    PreviewArea* area_ = nullptr;
    QScrollBar* verticalBar_ = nullptr;
    QScrollBar* horizontalBar_ = nullptr;
    QPlainTextEdit* infoBox_ = nullptr;
    QComboBox* makeMenu_ = nullptr;
    QComboBox* modelMenu_ = nullptr;
    QComboBox* lensMenu_ = nullptr;
    QLabel* makeLabel_ = nullptr;
    QLabel* modelLabel_ = nullptr;
    QLabel* lensLabel_ = nullptr;
    QLabel* focalLabel_ = nullptr;
    QLineEdit* focalEdit_ = nullptr;
    QTabBar* tabs_ = nullptr;
    QFrame* pageHost_ = nullptr;
    QWidget* page_ = nullptr;
    QPushButton* pageReset_ = nullptr;
    ShiftButtonWidget* shiftButton_ = nullptr;
    QLabel* shiftLabel_ = nullptr;
    QLabel* tipLabel_ = nullptr;
    QGroupBox* correctGroup_ = nullptr;
    QRadioButton* kindButtons_[3] = {nullptr, nullptr, nullptr};
    QCheckBox* previewCheck_ = nullptr;
    QGroupBox* fisheyeGroup_ = nullptr;
    QPushButton* fisheyeReset_ = nullptr;
    QLabel* gridLabel_ = nullptr;
    QSlider* gridSlider_ = nullptr;
    ColourButton* gridColour_ = nullptr;
    QPushButton* resetAll_ = nullptr;
    QLabel* rotateLabel_ = nullptr;
    PictureButton* rotateLeft_ = nullptr;
    PictureButton* rotateRight_ = nullptr;
    QPushButton* directory_ = nullptr;
    QListWidget* fileList_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QLabel* status_ = nullptr;
    std::map<MenuCommand, QAction*> actions_;

    // The value controls that exist now: the fisheye group's and those of the
    // tab page shown.
    std::map<ValueKey, ValueControl*> controls_;
    WheelNotches gridWheel_;
    WheelNotches focalWheel_;
    QTimer areaTimer_;
};

}  // namespace quillon::app
