#include "app/window/options_dialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QVBoxLayout>

#include "app/window_core/viewer.h"

namespace quillon::app {

namespace {

// String numbers.
constexpr int kTextOk = 30;
constexpr int kTextCancel = 31;
constexpr int kTextOptions = 36;
constexpr int kTextChooseExecutable = 71;

// Where the viewer is looked for first: the desktop's programs.
constexpr const char* kViewerFolder = "/usr/share/applications";

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

OptionsDialog::OptionsDialog(OptionsForm& form, const settings::LanguageTable& languages,
                             const platform::TextSource& texts, QWidget* parent)
    : QDialog(parent), form_(form), texts_(texts) {
    setObjectName(Q(OptionsTemplateName(form.variant())));
    setWindowTitle(Q(texts.Text(kTextOptions)));
    setWindowModality(Qt::ApplicationModal);
    // The check boxes first, then the fields with their labels.
    auto* checks = new QVBoxLayout;
    auto* fields = new QFormLayout;
    QHBoxLayout* viewerRow = nullptr;
    QLabel* threadsLabel = nullptr;
    for (const OptionsControl& control : OptionsControls(form.variant())) {
        const QString text = Q(texts.Text(control.textId));
        const QString name = Q(OptionsFieldName(control.field));
        const OptionsField field = control.field;
        switch (field) {
            case OptionsField::kLanguage:
                language_ = new QComboBox(this);
                language_->setObjectName(name);
                language_->setAccessibleName(text);
                for (const settings::LanguageEntry& row : languages.rows) {
                    language_->addItem(Q(row.name));
                }
                language_->setCurrentIndex(settings::FindLanguage(languages, form.Language()));
                connect(language_, &QComboBox::currentTextChanged, this,
                        [this](const QString& chosen) { form_.SetLanguage(chosen.toStdString()); });
                fields->addRow(text, language_);
                break;
            case OptionsField::kThreadsLabel:
                // The plug-in's dialog numbers the label of its threads field.
                threadsLabel = new QLabel(text, this);
                threadsLabel->setObjectName(name);
                threadsLabel->setProperty("controlId", control.id);
                break;
            case OptionsField::kThreads:
            case OptionsField::kJpegQuality:
            case OptionsField::kSuffix:
            case OptionsField::kViewer: {
                auto* edit = new QLineEdit(Q(form.Text(field)), this);
                edit->setObjectName(name);
                edit->setAccessibleName(text);
                connect(edit, &QLineEdit::editingFinished, this,
                        [this, field] { LeaveEdit(field); });
                edits_[field] = edit;
                if (field == OptionsField::kViewer) {
                    edit->setMinimumWidth(280);
                    viewerRow = new QHBoxLayout;
                    viewerRow->addWidget(edit, 1);
                    fields->addRow(text, viewerRow);
                } else if (field == OptionsField::kThreads && threadsLabel != nullptr) {
                    edit->setMaximumWidth(60);
                    threadsLabel->setBuddy(edit);
                    fields->addRow(threadsLabel, edit);
                } else {
                    edit->setMaximumWidth(field == OptionsField::kSuffix ? 120 : 60);
                    fields->addRow(text, edit);
                }
                break;
            }
            case OptionsField::kBrowse:
                browse_ = new QPushButton(text + QStringLiteral("..."), this);
                browse_->setObjectName(name);
                browse_->setAccessibleName(browse_->text());
                browse_->setAutoDefault(false);
                connect(browse_, &QPushButton::clicked, this, &OptionsDialog::Browse);
                if (viewerRow != nullptr) viewerRow->addWidget(browse_);
                break;
            default: {
                auto* check = new QCheckBox(text, this);
                check->setObjectName(name);
                check->setAccessibleName(text);
                check->setChecked(form.Checked(field));
                connect(check, &QCheckBox::toggled, this,
                        [this, field](bool on) { form_.SetChecked(field, on); });
                checks_[field] = check;
                checks->addWidget(check);
                break;
            }
        }
        if (QWidget* widget = Field(field)) widget->setProperty("controlId", control.id);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(checks);
    layout->addSpacing(8);
    layout->addLayout(fields);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(Q(texts.Text(kTextOk)), QDialogButtonBox::AcceptRole);
    QPushButton* cancel =
        buttons->addButton(Q(texts.Text(kTextCancel)), QDialogButtonBox::RejectRole);
    ok->setObjectName(QStringLiteral("OkButton"));
    cancel->setObjectName(QStringLiteral("CancelButton"));
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &OptionsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QWidget* OptionsDialog::Field(OptionsField field) const {
    if (const auto check = checks_.find(field); check != checks_.end()) return check->second;
    if (const auto edit = edits_.find(field); edit != edits_.end()) return edit->second;
    if (field == OptionsField::kLanguage) return language_;
    if (field == OptionsField::kBrowse) return browse_;
    return nullptr;
}

void OptionsDialog::LeaveEdit(OptionsField field) {
    QLineEdit* edit = edits_.at(field);
    edit->setText(Q(form_.Leave(field, edit->text().toStdString())));
}

void OptionsDialog::accept() {
    // A value still being typed counts, as leaving its edit would.
    for (const auto& [field, edit] : edits_) LeaveEdit(field);
    QDialog::accept();
}

void OptionsDialog::Browse() {
    QLineEdit* edit = edits_.at(OptionsField::kViewer);
    const QString current = edit->text();
    const QString start =
        current.isEmpty() ? QString::fromLatin1(kViewerFolder) : QFileInfo(current).absolutePath();
    const QString chosen =
        QFileDialog::getOpenFileName(this, QStringLiteral("Select Viewer"), start);
    if (chosen.isEmpty()) return;
    if (!IsAcceptableViewer(chosen.toStdString())) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Info"),
                        Q(texts_.Text(kTextChooseExecutable)), QMessageBox::Ok, this);
        box.exec();
        return;
    }
    edit->setText(chosen);
    LeaveEdit(OptionsField::kViewer);
}

bool RunOptionsDialog(QWidget* parent, OptionsForm& form, const settings::LanguageTable& languages,
                      const platform::TextSource& texts) {
    OptionsForm working = form;
    OptionsDialog dialog(working, languages, texts, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    form = working;
    return true;
}

}  // namespace quillon::app
