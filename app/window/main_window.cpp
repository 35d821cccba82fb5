#include "app/window/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "app/window/drawn_images.h"
#include "app/window/options_dialog.h"
#include "app/window_core/viewer.h"
#include "platform/paths.h"
#include "preview/grid.h"

namespace quillon::app {

namespace {

// String numbers of the window's texts.
constexpr int kTextCorrectingImage = 0;
constexpr int kTextVertical = 17;
constexpr int kTextHorizontal = 21;
constexpr int kTextFocalLength = 24;
constexpr int kTextMake = 32;
constexpr int kTextModel = 33;
constexpr int kTextLens = 34;
constexpr int kTextChromaticAberration = 35;
constexpr int kTextReset = 37;
constexpr int kTextResetAll = 38;
constexpr int kTextVignetting = 39;
constexpr int kTextCorrect = 40;
constexpr int kTextPreview = 42;
constexpr int kTextPerspective = 53;
constexpr int kTextShift = 55;
constexpr int kTextTip = 58;
constexpr int kTextFisheye = 59;
constexpr int kTextRotate = 61;
constexpr int kTextDirectory = 67;
constexpr int kTextDelete = 73;
constexpr int kTextGrid = 78;
constexpr int kTextDisable = 85;
constexpr int kTextBarrelPincushion = 86;

// The designed sizes of the two variants with a file in work; the browser
// has the file list besides.
constexpr QSize kDesignedEditor(1000, 700);
constexpr QSize kDesignedBrowser(1220, 700);
constexpr int kRightColumnWidth = 390;
// Resizing by dragging the frame sends many sizes: the preview is built
// again for the last one only.
constexpr int kAreaSettleMs = 150;

QColor ColourOf(std::int32_t value) {
    const preview::Rgb rgb = preview::RgbFromColourValue(value);
    return QColor(rgb.r, rgb.g, rgb.b);
}

// Stored colours keep red in the lowest byte.
std::int32_t ColourValueOf(const QColor& colour) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(colour.red()) |
                                     (static_cast<std::uint32_t>(colour.green()) << 8) |
                                     (static_cast<std::uint32_t>(colour.blue()) << 16));
}

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Shows the lines of a menu, rebuilding the list only when they changed, so
// an open list is not disturbed by the refresh after every slider step.
void ShowMenu(QComboBox* combo, const lensdb::SelectionMenu& menu) {
    const QSignalBlocker blocker(combo);
    bool same = combo->count() == static_cast<int>(menu.lines.size());
    for (int i = 0; same && i < combo->count(); ++i) {
        same = combo->itemText(i) == FromUtf8(menu.lines[static_cast<std::size_t>(i)]);
    }
    if (!same) {
        combo->clear();
        for (const std::string& line : menu.lines) combo->addItem(FromUtf8(line));
    }
    combo->setCurrentIndex(menu.selected);
}

}  // namespace

// ---- small widgets

WaitCursor::WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

WaitCursor::~WaitCursor() { QApplication::restoreOverrideCursor(); }

bool WindowPrompts::AskYesNo(QWidget* parent, const QString& caption, const QString& question) {
    return QMessageBox::question(parent, caption, question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

bool WindowPrompts::AskOkCancel(QWidget* parent, const QString& caption, const QString& question) {
    return QMessageBox::question(parent, caption, question, QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Cancel) == QMessageBox::Ok;
}

std::optional<QColor> WindowPrompts::ChooseColour(QWidget* parent, const QColor& initial) {
    const QColor chosen = QColorDialog::getColor(initial, parent);
    if (!chosen.isValid()) return std::nullopt;
    return chosen;
}

std::optional<QString> WindowPrompts::ChooseFolder(QWidget* parent, const QString& start) {
    const QString chosen = QFileDialog::getExistingDirectory(parent, QString(), start);
    if (chosen.isEmpty()) return std::nullopt;
    return chosen;
}

bool WindowPrompts::EditOptions(QWidget* parent, OptionsForm& form,
                                const settings::LanguageTable& languages,
                                const platform::TextSource& texts) {
    return RunOptionsDialog(parent, form, languages, texts);
}

void WindowPrompts::ShowAbout(QWidget* parent, AboutVariant variant) {
    ShowAboutDialog(parent, variant, [this](const QUrl& url) { return OpenUrl(url); });
}

bool WindowPrompts::OpenUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }

bool WindowPrompts::StartDetached(const QString& program, const QStringList& arguments,
                                  const QString& folder) {
    return QProcess::startDetached(program, arguments, folder);
}

bool WindowPrompts::MoveToTrash(const QString& path) { return QFile::moveToTrash(path); }

ColourButton::ColourButton(QWidget* parent) : QPushButton(parent) { setFixedSize(40, 24); }

void ColourButton::SetColour(const QColor& colour, bool gridOn) {
    if (colour == colour_ && gridOn == gridOn_) return;
    colour_ = colour;
    gridOn_ = gridOn;
    update();
}

void ColourButton::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    QPainter painter(this);
    const QRect inner = rect().adjusted(5, 5, -5, -5);
    painter.fillRect(inner, gridOn_ && isEnabled() ? colour_ : palette().button().color());
    painter.setPen(palette().mid().color());
    painter.drawRect(inner.adjusted(0, 0, -1, -1));
}

PictureButton::PictureButton(bool clockwise, QWidget* parent)
    : QAbstractButton(parent), clockwise_(clockwise) {
    setFixedSize(24, 24);
    setFocusPolicy(Qt::StrongFocus);
}

void PictureButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const ButtonLook look = !isEnabled() ? ButtonLook::kDisabled
                                         : (isDown() ? ButtonLook::kPressed : ButtonLook::kNormal);
    painter.drawPixmap(0, 0, RotationFace(clockwise_, look));
    if (hasFocus()) {
        painter.setPen(QPen(palette().highlight().color(), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

// ---- the window

MainWindow::MainWindow(WindowSession& session, WindowVariant variant,
                       std::unique_ptr<WindowFlow> flow, QtBusyIndicator& busy,
                       WindowPrompts& prompts, QWidget* parent)
    : QMainWindow(parent),
      session_(session),
      variant_(variant),
      traits_(TraitsOf(variant)),
      flow_(std::move(flow)),
      busy_(busy),
      prompts_(prompts) {
    setObjectName(FromUtf8(traits_.templateName));
    setWindowTitle(QString::fromStdString(WindowTitle()));
    setWindowIcon(ProgramIcon());
    areaTimer_.setSingleShot(true);
    areaTimer_.setInterval(kAreaSettleMs);
    connect(&areaTimer_, &QTimer::timeout, this, [this] {
        SyncArea();
        RefreshAll();
    });
    BuildControls();
    BuildMenuBar();
    BuildAccelerators();
    setMinimumSize(DesignedSize());
    RefreshAll();
    // The variant's start (the editor's first file) comes once the window
    // has been laid out, so the preview is made for the area it gets.
    QTimer::singleShot(0, this, [this] {
        if (flow_ && !finished_) flow_->Start(*this);
    });
}

MainWindow::~MainWindow() {
    // The controls tell this window when they go; they must go while it is
    // still whole, not after its members.
    delete takeCentralWidget();
}

QString MainWindow::Text(int id) const {
    return FromUtf8(session_.state().session.strings.Text(id));
}

QSize MainWindow::DesignedSize() const {
    const QSize designed = traits_.hasFileList ? kDesignedBrowser : kDesignedEditor;
    return designed.expandedTo(minimumSizeHint());
}

QPushButton* MainWindow::AddButton(ControlId id, const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    NameControl(button, id);
    button->setAccessibleName(text);
    button->setAutoDefault(false);
    return button;
}

ValueControl* MainWindow::AddValueControl(ValueKey key, QWidget* parent, QGridLayout* layout,
                                          int row) {
    const ValueControlInfo& info = InfoOf(key);
    auto* control = new ValueControl(info, Text(info.labelText), parent);
    layout->addWidget(control->label(), row, 0);
    layout->addWidget(control->slider(), row, 1);
    layout->addWidget(control->edit(), row, 2);
    connect(control, &ValueControl::valueChosen, this, &MainWindow::OnValueChosen);
    connect(control, &QObject::destroyed, this, [this, key] { controls_.erase(key); });
    controls_[key] = control;
    return control;
}

void MainWindow::BuildControls() {
    auto* central = new QWidget(this);
    auto* root = new QHBoxLayout(central);

    if (traits_.hasFileList) {
        auto* column = new QVBoxLayout;
        directory_ = AddButton(ControlId::kDirectory, Text(kTextDirectory) + "...", central);
        fileList_ = new QListWidget(central);
        NameControl(fileList_, ControlId::kFileList);
        fileList_->setAccessibleName(Text(kTextDirectory));
        fileList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
        // The browser sorts the names itself, as the user reads them.
        fileList_->setSortingEnabled(false);
        fileList_->setFixedWidth(200);
        fileList_->installEventFilter(this);
        column->addWidget(directory_);
        column->addWidget(fileList_, 1);
        root->addLayout(column);
        connect(directory_, &QPushButton::clicked, this, [this] { flow_->ChooseDirectory(*this); });
        connect(fileList_, &QListWidget::itemSelectionChanged, this,
                [this] { flow_->SelectionChanged(*this); });
    }

    auto* middle = new QVBoxLayout;
    auto* previewGrid = new QGridLayout;
    previewGrid->setSpacing(0);
    area_ = new PreviewArea(session_, central);
    NameControl(area_, ControlId::kPreviewArea);
    area_->setAccessibleName(Text(kTextPreview));
    area_->installEventFilter(this);
    verticalBar_ = new QScrollBar(Qt::Vertical, central);
    horizontalBar_ = new QScrollBar(Qt::Horizontal, central);
    NameControl(verticalBar_, ControlId::kVerticalScrollBar);
    NameControl(horizontalBar_, ControlId::kHorizontalScrollBar);
    verticalBar_->setAccessibleName(Text(kTextVertical));
    horizontalBar_->setAccessibleName(Text(kTextHorizontal));
    for (QScrollBar* bar : {verticalBar_, horizontalBar_}) {
        // The bars come and go with the zoom view; the area keeps its size,
        // so showing them does not rebuild the preview.
        QSizePolicy policy = bar->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        bar->setSizePolicy(policy);
        bar->hide();
        const preview::ZoomAxis axis =
            bar == verticalBar_ ? preview::ZoomAxis::kVertical : preview::ZoomAxis::kHorizontal;
        connect(bar, &QScrollBar::valueChanged, this, [this, bar, axis](int value) {
            preview::PreviewState& state = session_.preview();
            if (!state.zoom.Active() || !state.fullSize.Valid()) return;
            state.zoom.ScrollTo(axis, value, state.fullSize.Image(), session_.sink());
            // Thumb drags show the region uncorrected until the thumb is let go.
            if (!bar->isSliderDown()) session_.CorrectZoomRegion();
            area_->Refresh();
        });
        connect(bar, &QScrollBar::sliderReleased, this, [this] {
            session_.CorrectZoomRegion();
            area_->Refresh();
        });
    }
    connect(area_, &PreviewArea::regionMoved, this, [this] { RefreshScrollBars(); });
    previewGrid->addWidget(area_, 0, 0);
    previewGrid->addWidget(verticalBar_, 0, 1);
    previewGrid->addWidget(horizontalBar_, 1, 0);
    middle->addLayout(previewGrid, 1);
    middle->addWidget(BuildBottomRow());
    root->addLayout(middle, 1);
    root->addWidget(BuildRightColumn());

    setCentralWidget(central);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        if (cancel_->isEnabled()) cancel_->click();
    });
    status_ = new QLabel(statusBar());
    status_->setObjectName(QStringLiteral("StatusText"));
    statusBar()->addWidget(status_, 1);
}

QWidget* MainWindow::BuildBottomRow() {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(BuildCorrectGroup(), 0, Qt::AlignTop);
    layout->addWidget(BuildFisheyeGroup(), 0, Qt::AlignTop);
    if (traits_.hasRotation) {
        auto* rotation = new QWidget(row);
        auto* grid = new QGridLayout(rotation);
        rotateLabel_ = new QLabel(Text(kTextRotate) + QStringLiteral(" 90°"), rotation);
        NameControl(rotateLabel_, ControlId::kRotateLabel);
        rotateLeft_ = new PictureButton(false, rotation);
        rotateRight_ = new PictureButton(true, rotation);
        NameControl(rotateLeft_, ControlId::kRotateLeft);
        NameControl(rotateRight_, ControlId::kRotateRight);
        rotateLeft_->setAccessibleName(Text(kTextRotate) + QStringLiteral(" -90°"));
        rotateRight_->setAccessibleName(Text(kTextRotate) + QStringLiteral(" 90°"));
        rotateLabel_->setAccessibleName(rotateLabel_->text());
        grid->addWidget(rotateLabel_, 0, 0, 1, 2);
        grid->addWidget(rotateLeft_, 1, 0);
        grid->addWidget(rotateRight_, 1, 1);
        const auto turn = [this](preview::ShowMode mode) {
            const WaitCursor waiting;
            session_.Turn(mode);
            RefreshAll();
        };
        connect(rotateLeft_, &QAbstractButton::clicked, this,
                [turn] { turn(preview::ShowMode::kTurnCounterClockwise); });
        connect(rotateRight_, &QAbstractButton::clicked, this,
                [turn] { turn(preview::ShowMode::kTurnClockwise); });
        layout->addWidget(rotation, 0, Qt::AlignTop);
    }
    layout->addStretch(1);
    return row;
}

QGroupBox* MainWindow::BuildCorrectGroup() {
    correctGroup_ = new QGroupBox(Text(kTextCorrect));
    NameControl(correctGroup_, ControlId::kCorrectGroup);
    correctGroup_->setAccessibleName(correctGroup_->title());
    auto* layout = new QVBoxLayout(correctGroup_);
    const std::pair<ControlId, int> kinds[] = {
        {ControlId::kCorrectDistortion, kTextBarrelPincushion},
        {ControlId::kCorrectFisheye, kTextFisheye},
        {ControlId::kCorrectNeither, kTextDisable}};
    for (int kind = 0; kind < 3; ++kind) {
        auto* button = new QRadioButton(Text(kinds[kind].second), correctGroup_);
        NameControl(button, kinds[kind].first);
        button->setAccessibleName(button->text());
        layout->addWidget(button);
        kindButtons_[kind] = button;
        connect(button, &QRadioButton::clicked, this, [this, kind] {
            session_.SetCorrectionKind(kind);
            RefreshAll();
        });
    }
    previewCheck_ = new QCheckBox(Text(kTextPreview), correctGroup_);
    NameControl(previewCheck_, ControlId::kPreviewCheck);
    previewCheck_->setAccessibleName(previewCheck_->text());
    previewCheck_->setChecked(true);
    layout->addWidget(previewCheck_);
    connect(previewCheck_, &QCheckBox::toggled, this, [this](bool on) {
        session_.SetPreviewOn(on);
        RefreshAll();
    });
    return correctGroup_;
}

QGroupBox* MainWindow::BuildFisheyeGroup() {
    fisheyeGroup_ = new QGroupBox(Text(kTextFisheye));
    fisheyeGroup_->setObjectName(QStringLiteral("FisheyeGroup"));
    fisheyeGroup_->setAccessibleName(fisheyeGroup_->title());
    auto* grid = new QGridLayout(fisheyeGroup_);
    const ValueKey keys[] = {ValueKey::kFisheyeDistortion, ValueKey::kFisheyeCrop,
                             ValueKey::kFisheyeRotate, ValueKey::kFisheyeHorz,
                             ValueKey::kFisheyeVert};
    int row = 0;
    for (ValueKey key : keys) AddValueControl(key, fisheyeGroup_, grid, row++);
    fisheyeReset_ = AddButton(ControlId::kFisheyeReset, Text(kTextReset), fisheyeGroup_);
    grid->addWidget(fisheyeReset_, row, 2);
    connect(fisheyeReset_, &QPushButton::clicked, this, [this] {
        session_.ResetFisheye();
        RefreshAll();
    });
    return fisheyeGroup_;
}

QWidget* MainWindow::BuildLensGroup() {
    auto* group = new QGroupBox;
    group->setObjectName(QStringLiteral("LensGroup"));
    auto* grid = new QGridLayout(group);
    const auto addMenu = [&](QComboBox*& menu, QLabel*& label, ControlId menuId, ControlId labelId,
                             int text, int row) {
        label = new QLabel(Text(text), group);
        menu = new QComboBox(group);
        NameControl(label, labelId);
        NameControl(menu, menuId);
        label->setBuddy(menu);
        label->setAccessibleName(label->text());
        menu->setAccessibleName(label->text());
        menu->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        menu->setMinimumContentsLength(18);
        grid->addWidget(label, row, 0);
        grid->addWidget(menu, row, 1);
    };
    addMenu(makeMenu_, makeLabel_, ControlId::kMakeMenu, ControlId::kMakeLabel, kTextMake, 0);
    addMenu(modelMenu_, modelLabel_, ControlId::kModelMenu, ControlId::kModelLabel, kTextModel, 1);
    addMenu(lensMenu_, lensLabel_, ControlId::kLensMenu, ControlId::kLensLabel, kTextLens, 2);
    connect(makeMenu_, &QComboBox::activated, this, [this](int line) {
        session_.ChooseMake(line);
        RefreshAll();
    });
    connect(modelMenu_, &QComboBox::activated, this, [this](int line) {
        session_.ChooseModel(line);
        RefreshAll();
    });
    connect(lensMenu_, &QComboBox::activated, this, [this](int line) {
        session_.ChooseLens(line);
        RefreshAll();
    });

    grid->setColumnStretch(1, 1);
    focalLabel_ = new QLabel(group);
    focalEdit_ = new QLineEdit(group);
    NameControl(focalLabel_, ControlId::kFocalLabel);
    NameControl(focalEdit_, ControlId::kFocalEdit);
    focalLabel_->setBuddy(focalEdit_);
    focalEdit_->setFixedWidth(80);
    focalEdit_->setAlignment(Qt::AlignRight);
    focalEdit_->installEventFilter(this);
    grid->addWidget(focalLabel_, 3, 0, 1, 2);
    grid->addWidget(focalEdit_, 4, 1, Qt::AlignRight);
    return group;
}

QWidget* MainWindow::BuildTabs() {
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    tabs_ = new QTabBar(box);
    NameControl(tabs_, ControlId::kTabs);
    tabs_->addTab(Text(kTextVignetting));
    tabs_->addTab(Text(kTextPerspective));
    tabs_->addTab(Text(kTextChromaticAberration));
    tabs_->setAccessibleName(tabs_->tabText(0) + " / " + tabs_->tabText(1) + " / " +
                             tabs_->tabText(2));
    tabs_->setExpanding(false);
    pageHost_ = new QFrame(box);
    pageHost_->setObjectName(QStringLiteral("TabPage"));
    pageHost_->setFrameShape(QFrame::StyledPanel);
    auto* hostLayout = new QVBoxLayout(pageHost_);
    hostLayout->setContentsMargins(6, 6, 6, 6);
    // The host is as large as the largest page, so switching pages moves
    // nothing else in the window.
    QSize largest;
    for (int tab = kTabVignetting; tab <= kTabChromaticAberration; ++tab) {
        QWidget* page = BuildPage(tab);
        largest = largest.expandedTo(page->sizeHint());
        delete page;
    }
    pageHost_->setFixedHeight(largest.height() + 12);
    layout->addWidget(tabs_);
    layout->addWidget(pageHost_);

    const int tab = session_.Tab();
    {
        const QSignalBlocker blocker(tabs_);
        tabs_->setCurrentIndex(tab);
    }
    ShowPage(tab);
    connect(tabs_, &QTabBar::currentChanged, this, [this](int index) {
        ShowPage(index);
        session_.SelectTab(index);
        RefreshAll();
    });
    return box;
}

QWidget* MainWindow::BuildPage(int tab) {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(0, 0, 0, 0);
    int row = 0;
    ControlId resetId = ControlId::kVignettingReset;
    switch (tab) {
        case kTabVignetting:
            AddValueControl(ValueKey::kVigAmount, page, grid, row++);
            AddValueControl(ValueKey::kVigMidpoint, page, grid, row++);
            break;
        case kTabPerspective: {
            AddValueControl(ValueKey::kPerspectVert, page, grid, row++);
            AddValueControl(ValueKey::kPerspectHorz, page, grid, row++);
            AddValueControl(ValueKey::kPerspectRotate, page, grid, row++);
            AddValueControl(ValueKey::kPerspectScale, page, grid, row++);
            shiftLabel_ = new QLabel(Text(kTextShift), page);
            shiftButton_ = new ShiftButtonWidget(page);
            NameControl(shiftButton_, ControlId::kShiftButton);
            shiftButton_->setAccessibleName(shiftLabel_->text());
            shiftLabel_->setBuddy(shiftButton_);
            grid->addWidget(shiftLabel_, row, 0);
            grid->addWidget(shiftButton_, row++, 1, Qt::AlignLeft);
            connect(shiftButton_, &ShiftButtonWidget::stepped, this,
                    [this](ShiftDirection direction) {
                        session_.ShiftStep(direction);
                        RefreshAll();
                    });
            connect(shiftButton_, &QObject::destroyed, this, [this] {
                shiftButton_ = nullptr;
                shiftLabel_ = nullptr;
            });
            resetId = ControlId::kPerspectiveReset;
            break;
        }
        case kTabChromaticAberration:
            AddValueControl(ValueKey::kCaRed, page, grid, row++);
            AddValueControl(ValueKey::kCaBlue, page, grid, row++);
            AddValueControl(ValueKey::kCaZoom, page, grid, row++);
            tipLabel_ = new QLabel(Text(kTextTip), page);
            tipLabel_->setWordWrap(true);
            grid->addWidget(tipLabel_, row++, 0, 1, 3);
            connect(tipLabel_, &QObject::destroyed, this, [this] { tipLabel_ = nullptr; });
            resetId = ControlId::kCaReset;
            break;
        default:
            break;
    }
    pageReset_ = AddButton(resetId, Text(kTextReset), page);
    grid->addWidget(pageReset_, row++, 2);
    connect(pageReset_, &QObject::destroyed, this, [this] { pageReset_ = nullptr; });
    connect(pageReset_, &QPushButton::clicked, this, [this, tab] {
        session_.ResetPage(tab);
        RefreshAll();
    });
    grid->setRowStretch(row, 1);
    return page;
}

void MainWindow::ShowPage(int tab) {
    if (page_ != nullptr) {
        // A value typed into the leaving page counts, as leaving its edit does.
        QWidget* focus = QApplication::focusWidget();
        if (focus != nullptr && page_->isAncestorOf(focus)) focus->clearFocus();
        delete page_;
        page_ = nullptr;
    }
    page_ = BuildPage(tab);
    page_->setParent(pageHost_);
    pageHost_->layout()->addWidget(page_);
    page_->show();
}

QWidget* MainWindow::BuildRightColumn() {
    auto* column = new QWidget;
    column->setFixedWidth(kRightColumnWidth);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);

    infoBox_ = new QPlainTextEdit(column);
    NameControl(infoBox_, ControlId::kInfoBox);
    infoBox_->setAccessibleName(QStringLiteral("Info"));
    infoBox_->setReadOnly(true);
    infoBox_->setLineWrapMode(QPlainTextEdit::NoWrap);
    QPalette white = infoBox_->palette();
    white.setColor(QPalette::Base, Qt::white);
    white.setColor(QPalette::Text, Qt::black);
    infoBox_->setPalette(white);
    const int lineHeight = infoBox_->fontMetrics().lineSpacing();
    infoBox_->setFixedHeight(lineHeight * 8 + 12);
    layout->addWidget(infoBox_);
    layout->addWidget(BuildLensGroup());
    layout->addWidget(BuildTabs());

    auto* gridRow = new QHBoxLayout;
    gridLabel_ = new QLabel(Text(kTextGrid), column);
    gridSlider_ = new QSlider(Qt::Horizontal, column);
    NameControl(gridSlider_, ControlId::kGridSlider);
    gridSlider_->setAccessibleName(gridLabel_->text());
    gridLabel_->setBuddy(gridSlider_);
    gridSlider_->setRange(preview::kGridOff, preview::kGridMax);
    gridSlider_->installEventFilter(this);
    gridColour_ = new ColourButton(column);
    NameControl(gridColour_, ControlId::kGridColorButton);
    gridColour_->setAccessibleName(gridLabel_->text() + QStringLiteral(" colour"));
    gridRow->addWidget(gridLabel_);
    gridRow->addWidget(gridSlider_, 1);
    gridRow->addWidget(gridColour_);
    layout->addLayout(gridRow);
    connect(gridSlider_, &QSlider::valueChanged, this, [this](int value) {
        session_.SetGrid(value);
        RefreshAll();
    });
    connect(gridColour_, &QPushButton::clicked, this, [this] {
        const auto chosen =
            prompts_.ChooseColour(this, ColourOf(session_.state().stored.values.gridColor));
        if (!chosen) return;
        session_.SetGridColour(ColourValueOf(*chosen));
        RefreshAll();
    });

    resetAll_ = AddButton(ControlId::kResetAll, Text(kTextResetAll), column);
    layout->addWidget(resetAll_, 0, Qt::AlignRight);
    connect(resetAll_, &QPushButton::clicked, this, [this] {
        session_.ResetAll();
        RefreshAll();
    });
    layout->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    if (traits_.hasFileList) {
        delete_ = AddButton(ControlId::kDelete, Text(kTextDelete), column);
        buttons->addWidget(delete_);
        connect(delete_, &QPushButton::clicked, this, [this] { flow_->DeleteSelected(*this); });
    }
    ok_ = AddButton(traits_.okId, Text(traits_.okText), column);
    cancel_ = AddButton(ControlId::kCancel, Text(traits_.cancelText), column);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);
    connect(ok_, &QPushButton::clicked, this, [this] {
        if (session_.Busy()) return;
        flow_->Ok(*this);
    });
    connect(cancel_, &QPushButton::clicked, this, [this] {
        if (session_.Busy()) return;
        flow_->Cancel(*this);
    });
    return column;
}

// ---- user actions

void MainWindow::OnValueChosen(ValueKey key, std::int32_t value) {
    if (key == ValueKey::kCaRed || key == ValueKey::kCaBlue) {
        const bool alt = QApplication::keyboardModifiers().testFlag(Qt::AltModifier);
        const preview::ChannelView view = !alt ? preview::ChannelView::kAll
                                          : key == ValueKey::kCaRed
                                              ? preview::ChannelView::kRedGreen
                                              : preview::ChannelView::kBlueGreen;
        session_.SetChannelView(view);
    }
    session_.SetValue(key, value);
    RefreshAll();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == fileList_ && event->type() == QEvent::KeyPress) {
        // The list's own keys: F5 refreshes it, Delete deletes the selected
        // files (Ctrl+A is the window's accelerator).
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F5 && key->modifiers() == Qt::NoModifier) {
            RunCommand(MenuCommand::kRefresh);
            return true;
        }
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
            // The question comes even with nothing selected; OK then deletes nothing.
            if (!session_.Busy()) flow_->DeleteSelected(*this);
            return true;
        }
        return false;
    }
    if (watched == area_ && event->type() == QEvent::Resize) {
        areaTimer_.start();
    } else if (watched == focalEdit_) {
        // The focal-length edit steps by whole millimetres, as a value control.
        const auto enter = [this] {
            const std::string typed = focalEdit_->text().toStdString();
            focalEdit_->setModified(false);
            session_.EnterFocalLength(typed);
            RefreshAll();
        };
        std::int32_t step = 0;
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            step = KeyStep(*key);
            if (step == 0 && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
                enter();
                return true;
            }
            if (step == 0) return false;
        } else if (event->type() == QEvent::FocusOut) {
            if (focalEdit_->isEnabled() && focalEdit_->isModified()) enter();
            return false;
        } else if (event->type() == QEvent::Wheel) {
            step = WheelSteps(*static_cast<QWheelEvent*>(event), focalWheel_);
        } else {
            return false;
        }
        if (step != 0) {
            focalEdit_->setModified(false);
            session_.StepFocalLength(step);
            RefreshAll();
        }
        return true;
    } else if (watched == gridSlider_) {
        std::int32_t step = 0;
        if (event->type() == QEvent::KeyPress) {
            step = KeyStep(*static_cast<QKeyEvent*>(event));
            if (step == 0) return false;
        } else if (event->type() == QEvent::Wheel) {
            step = WheelSteps(*static_cast<QWheelEvent*>(event), gridWheel_);
        } else {
            return false;
        }
        const ValueRange range{preview::kGridOff, preview::kGridMax, ValueFormat::kWhole};
        if (step != 0) gridSlider_->setValue(StepValue(range, session_.Grid(), step));
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- showing the session

void MainWindow::RefreshAll() {
    RefreshValues();
    RefreshLens();
    RefreshEnabling();
    RefreshScrollBars();
    area_->Refresh();
}

void MainWindow::RefreshValues() {
    for (auto& [key, control] : controls_) control->Show(session_.Value(key));
    const std::int32_t kind = engine::ClampCorChoice(session_.state().stored.correction.CorChoice);
    kindButtons_[kind]->setChecked(true);
    {
        const QSignalBlocker blocker(previewCheck_);
        previewCheck_->setChecked(session_.PreviewOn());
    }
    {
        const QSignalBlocker blocker(gridSlider_);
        gridSlider_->setValue(session_.Grid());
    }
    gridColour_->SetColour(ColourOf(session_.state().stored.values.gridColor),
                           session_.Grid() > preview::kGridOff);
    const QString info =
        QString::fromStdString(session_.InfoText()).replace(QStringLiteral("\r\n"), "\n");
    if (infoBox_->toPlainText() != info) infoBox_->setPlainText(info);
}

void MainWindow::RefreshLens() {
    const lensdb::LensSelection& selection = session_.state().current.selection;
    const bool shown = session_.ImageShown();
    ShowMenu(makeMenu_, shown ? selection.makeMenu : lensdb::SelectionMenu{});
    ShowMenu(modelMenu_, shown ? selection.modelMenu : lensdb::SelectionMenu{});
    ShowMenu(lensMenu_, shown ? selection.lensMenuLines : lensdb::SelectionMenu{});
    const lensdb::FocalLengthDisplay& focal = selection.focalDisplay;
    const bool focalShown = shown && focal.shown;
    focalLabel_->setText(focalShown ? FromUtf8(focal.label) : Text(kTextFocalLength));
    focalEdit_->setAccessibleName(focalLabel_->text());
    focalLabel_->setAccessibleName(focalLabel_->text());
    // Text the user is typing stays until it is taken (Enter, leaving the edit).
    if (!focalEdit_->isModified() || !focalShown) {
        focalEdit_->setText(focalShown ? FromUtf8(focal.edit) : QString());
    }
}

void MainWindow::RefreshEnabling() {
    const ControlEnabling e = session_.Enabling();
    for (QRadioButton* button : kindButtons_) button->setEnabled(e.general);
    correctGroup_->setEnabled(e.general);
    previewCheck_->setEnabled(e.general);
    gridLabel_->setEnabled(e.general);
    gridSlider_->setEnabled(e.general);
    gridColour_->setEnabled(e.general);
    resetAll_->setEnabled(e.general);
    if (rotateLabel_ != nullptr) {
        rotateLabel_->setEnabled(e.general);
        rotateLeft_->setEnabled(e.general);
        rotateRight_->setEnabled(e.general);
    }
    for (auto& [key, control] : controls_) {
        const bool fisheye = control->parent() == fisheyeGroup_;
        control->SetEnabled(fisheye ? e.fisheyeGroup : e.general);
    }
    if (pageReset_ != nullptr) pageReset_->setEnabled(e.general);
    if (tipLabel_ != nullptr) tipLabel_->setEnabled(e.general);
    if (shiftButton_ != nullptr) {
        shiftButton_->setEnabled(e.shiftButton);
        shiftLabel_->setEnabled(e.shiftButton);
    }
    fisheyeGroup_->setEnabled(e.fisheyeGroup);
    fisheyeReset_->setEnabled(e.fisheyeGroup);
    for (QWidget* w : {static_cast<QWidget*>(makeMenu_), static_cast<QWidget*>(modelMenu_),
                       static_cast<QWidget*>(lensMenu_), static_cast<QWidget*>(makeLabel_),
                       static_cast<QWidget*>(modelLabel_), static_cast<QWidget*>(lensLabel_)}) {
        w->setEnabled(e.lensGroup);
    }
    focalLabel_->setEnabled(e.focalLength);
    focalEdit_->setEnabled(e.focalLength);
    verticalBar_->setEnabled(e.scrollBars);
    horizontalBar_->setEnabled(e.scrollBars);
    verticalBar_->setVisible(e.scrollBars);
    horizontalBar_->setVisible(e.scrollBars);
    ok_->setEnabled(e.apply);
    cancel_->setEnabled(e.cancel);
    if (delete_ != nullptr) delete_->setEnabled(e.deleteFiles);
    if (fileList_ != nullptr) {
        fileList_->setEnabled(e.fileList);
        directory_->setEnabled(e.fileList);
    }
    for (auto& [command, action] : actions_) action->setEnabled(MenuEntryEnabled(command, e));
}

void MainWindow::RefreshScrollBars() {
    const preview::ZoomView& zoom = session_.preview().zoom;
    if (!zoom.Active()) return;
    const auto show = [](QScrollBar* bar, const preview::ScrollRange& range) {
        const QSignalBlocker blocker(bar);
        bar->setRange(0, range.LastPosition());
        bar->setPageStep(range.page);
        bar->setSingleStep(1);
        bar->setValue(range.position);
    };
    show(horizontalBar_, zoom.Range(preview::ZoomAxis::kHorizontal));
    show(verticalBar_, zoom.Range(preview::ZoomAxis::kVertical));
}

void MainWindow::SetStatusText(const QString& text) { status_->setText(text); }

QString MainWindow::StatusText() const { return status_->text(); }

void MainWindow::SyncArea() {
    areaTimer_.stop();
    session_.SetArea(area_->width(), area_->height());
}

bool MainWindow::OpenNextFile() {
    const WaitCursor waiting;
    SyncArea();
    const bool opened = session_.OpenNextFile();
    SetStatusText(QString::fromStdString(session_.EditStatusText()));
    RefreshAll();
    return opened;
}

int MainWindow::CorrectAndWrite(const imageio::ImageFileOptions& options) {
    const int result = WhileBusy([this, &options] {
        return busy_.Run(Text(kTextCorrectingImage).toStdString(),
                         [this, &options](engine::WorkProgress& progress) {
                             return session_.CorrectAndWrite(options, progress);
                         });
    });
    if (result == 0) setWindowTitle(QString::fromStdString(WindowTitle()));
    return result;
}

int MainWindow::WhileBusy(const std::function<int()>& work) {
    if (session_.Busy()) return 1;
    session_.SetBusy(true);
    RefreshAll();
    const int result = work();
    session_.SetBusy(false);
    RefreshAll();
    return result;
}

void MainWindow::Finish(int result) {
    if (finished_) return;
    finished_ = true;
    result_ = result;
    close();
    emit finished(result);
}

// ---- the window's size

void MainWindow::ShowPlaced() {
    const QRect work = screen() != nullptr ? screen()->availableGeometry() : QRect();
    const settings::DialogPlacement& remembered = session_.state().stored.values.dialog;
    const QSize designed = DesignedSize();
    const PixelSize size = OpeningSize(remembered, {designed.width(), designed.height()},
                                       {work.width(), work.height()});
    resize(size.width, size.height);
    if (work.isValid()) move(work.center() - QPoint(size.width / 2, size.height / 2));
    if (remembered.maximized != 0) {
        showMaximized();
    } else {
        show();
    }
}

void MainWindow::RememberSize() {
    settings::DialogPlacement& remembered = session_.state().stored.values.dialog;
    remembered.maximized = isMaximized() ? 1 : 0;
    if (!isMaximized() && !isMinimized() && isVisible()) {
        remembered.width = width();
        remembered.height = height();
    }
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    RememberSize();
}

void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange) RememberSize();
    QMainWindow::changeEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The file being written decides when the window may go.
    if (session_.Busy()) {
        event->ignore();
        return;
    }
    // Closing the window by its frame is the Exit or Cancel button, which
    // may ask first (the editor's "Continue with next file?").
    if (!finished_) {
        event->ignore();
        if (cancel_->isEnabled()) flow_->Cancel(*this);
        return;
    }
    event->accept();
}

// ---- the folder browser's list

void MainWindow::ShowFileNames(const std::vector<std::string>& names) {
    if (fileList_ == nullptr) return;
    const QSignalBlocker blocker(fileList_);
    fileList_->clear();
    for (const std::string& name : names) fileList_->addItem(FromUtf8(name));
}

std::vector<int> MainWindow::SelectedRows() const {
    std::vector<int> rows;
    if (fileList_ == nullptr) return rows;
    for (const QModelIndex& index : fileList_->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void MainWindow::SelectRows(const std::vector<int>& rows, bool tell) {
    if (fileList_ == nullptr) return;
    {
        const QSignalBlocker blocker(fileList_);
        fileList_->clearSelection();
        for (const int row : rows) {
            if (QListWidgetItem* item = fileList_->item(row)) item->setSelected(true);
        }
        if (!rows.empty()) fileList_->setCurrentRow(rows.back(), QItemSelectionModel::NoUpdate);
    }
    if (tell) flow_->SelectionChanged(*this);
}

void MainWindow::FocusFileList() {
    if (fileList_ != nullptr) fileList_->setFocus();
}

// ---- menus and dialogs

void MainWindow::BuildMenuBar() {
    menuBar()->clear();
    actions_.clear();
    const std::string viewer = ViewerName(session_.state().stored.values.viewerPath);
    for (const Menu& menu : BuildMenus(variant_, viewer, session_.state().session.strings)) {
        QMenu* bar = menuBar()->addMenu(FromUtf8(menu.title));
        for (const MenuEntry& entry : menu.entries) {
            // The key after the tab is shown in the menu's shortcut column;
            // the keys themselves are the window's accelerators.
            QAction* action = bar->addAction(FromUtf8(entry.text));
            action->setObjectName(QStringLiteral("Menu%1").arg(static_cast<int>(entry.command)));
            const MenuCommand command = entry.command;
            connect(action, &QAction::triggered, this, [this, command] { RunCommand(command); });
            actions_[command] = action;
        }
    }
}

void MainWindow::BuildAccelerators() {
    const std::map<std::string_view, MenuCommand> commands = {{"F1", MenuCommand::kHelp},
                                                              {"Ctrl+O", MenuCommand::kOpenIn},
                                                              {"Ctrl+A", MenuCommand::kSelectAll},
                                                              {"Ctrl+R", MenuCommand::kRefresh}};
    for (const std::string_view key : AcceleratorKeys(variant_)) {
        auto* shortcut = new QShortcut(QKeySequence(FromUtf8(key)), this);
        shortcut->setObjectName(QStringLiteral("Key ") + FromUtf8(key));
        const MenuCommand command = commands.at(key);
        connect(shortcut, &QShortcut::activated, this, [this, command] { RunCommand(command); });
    }
}

QAction* MainWindow::MenuAction(MenuCommand command) const {
    const auto found = actions_.find(command);
    return found == actions_.end() ? nullptr : found->second;
}

void MainWindow::RunCommand(MenuCommand command) {
    if (!MenuEntryEnabled(command, session_.Enabling())) return;
    // The variant's entries only: the editor has no Open in or Select All.
    if (MenuAction(command) == nullptr) return;
    switch (command) {
        case MenuCommand::kOpenIn:
            flow_->OpenInViewer(*this);
            break;
        case MenuCommand::kSelectAll:
            flow_->SelectAll(*this);
            break;
        case MenuCommand::kRefresh:
            flow_->Refresh(*this);
            break;
        case MenuCommand::kDelete:
            flow_->DeleteSelected(*this);
            break;
        case MenuCommand::kExit:
            if (cancel_->isEnabled()) flow_->Cancel(*this);
            break;
        case MenuCommand::kOptions:
            EditOptions();
            break;
        case MenuCommand::kHelp:
            OpenHelp();
            break;
        case MenuCommand::kAbout:
            prompts_.ShowAbout(this, variant_ == WindowVariant::kFilterDialog
                                         ? AboutVariant::kPlugin
                                         : AboutVariant::kProgram);
            break;
    }
}

void MainWindow::EditOptions() {
    // Opening the dialog clears a restart that a previous one asked for.
    session_.SetRestartPending(false);
    RefreshAll();
    AppState& state = session_.state();
    OptionsForm form(OptionsVariantFor(variant_), state.stored.values, state.stored.correction);
    if (prompts_.EditOptions(this, form, state.session.languages, state.session.strings)) {
        const WaitCursor waiting;
        (void)session_.ApplyOptions(form);
    }
    BuildMenuBar();
    RefreshAll();
}

void MainWindow::OpenHelp() {
    const std::string path = platform::JoinPath(session_.state().stored.values.root, kHelpFileName);
    if (!platform::FileExists(path)) return;
    (void)prompts_.OpenUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

}  // namespace quillon::app
