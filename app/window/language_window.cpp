#include "app/window/language_window.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <functional>

namespace quillon::app {

namespace {

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Commits the Processors field when it loses the focus.
class FocusOutWatcher : public QObject {
  public:
    FocusOutWatcher(QObject* parent, std::function<void()> onFocusOut)
        : QObject(parent), onFocusOut_(std::move(onFocusOut)) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusOut) onFocusOut_();
        return QObject::eventFilter(watched, event);
    }

  private:
    std::function<void()> onFocusOut_;
};

}  // namespace

settings::LanguageChoice QtLanguagePrompt::Ask(const settings::LanguageTable& table,
                                               int currentProcessors) {
    settings::LanguageDialogController controller(table, currentProcessors);

    QDialog dialog;
    dialog.setObjectName(Text(settings::kLanguageDialogTemplate));
    dialog.setWindowTitle(Text(settings::kLanguageDialogTitle));
    auto* list = new QComboBox(&dialog);
    list->setObjectName(QString::number(settings::kLanguageListControl));
    for (const std::string& name : controller.LanguageNames()) list->addItem(Text(name));
    list->setCurrentIndex(controller.SelectedIndex());
    auto* processors = new QLineEdit(Text(controller.ProcessorsText()), &dialog);
    processors->setObjectName(QString::number(settings::kProcessorsEditControlProgram));
    auto* languageLabel = new QLabel(Text(settings::kLanguageDialogLanguageLabel), &dialog);
    auto* processorsLabel = new QLabel(Text(settings::kLanguageDialogProcessorsLabel), &dialog);
    languageLabel->setBuddy(list);
    processorsLabel->setBuddy(processors);
    list->setAccessibleName(languageLabel->text());
    processors->setAccessibleName(processorsLabel->text());
    auto* ok = new QPushButton(Text(settings::kLanguageDialogOk), &dialog);
    ok->setObjectName(QStringLiteral("1"));
    ok->setAccessibleName(ok->text());
    ok->setDefault(true);

    QObject::connect(list, &QComboBox::currentIndexChanged, &dialog,
                     [&](int index) { controller.SelectLanguage(index); });
    const auto commitProcessors = [&] {
        processors->setText(
            Text(controller.CommitProcessorsText(processors->text().toStdString())));
    };
    processors->installEventFilter(new FocusOutWatcher(processors, commitProcessors));
    QObject::connect(ok, &QPushButton::clicked, &dialog, [&] {
        // OK takes what is typed even when the field still has the focus.
        commitProcessors();
        dialog.accept();
    });

    auto* layout = new QGridLayout(&dialog);
    layout->addWidget(languageLabel, 0, 0);
    layout->addWidget(list, 0, 1);
    layout->addWidget(processorsLabel, 1, 0);
    layout->addWidget(processors, 1, 1);
    layout->addWidget(new QLabel(Text(settings::kLanguageDialogHelpLine1), &dialog), 2, 0, 1, 2);
    layout->addWidget(new QLabel(Text(settings::kLanguageDialogHelpLine2), &dialog), 3, 0, 1, 2);
    layout->addWidget(ok, 4, 1, Qt::AlignRight);

    return dialog.exec() == QDialog::Accepted ? controller.Ok() : controller.Cancel();
}

}  // namespace quillon::app
