#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <map>

#include "app/window_core/options_form.h"
#include "platform/text_source.h"
#include "settings/languages.h"

// The Options dialog in its three variants ("OPTIONS" of the folder browser,
// "OPTIONSEDIT" of the editor, the plug-in's "OPTIONS"), over an OptionsForm
// that holds its working copies and rules. The program's windows and the
// plug-in's dialog call RunOptionsDialog and apply the form on OK.

namespace quillon::app {

class OptionsDialog : public QDialog {
    Q_OBJECT

  public:
    OptionsDialog(OptionsForm& form, const settings::LanguageTable& languages,
                  const platform::TextSource& texts, QWidget* parent = nullptr);

    // The widget of a field (null when the variant has none).
    QWidget* Field(OptionsField field) const;

  public slots:
    void accept() override;

  private:
    void LeaveEdit(OptionsField field);
    void Browse();

    OptionsForm& form_;
    const platform::TextSource& texts_;
    std::map<OptionsField, QCheckBox*> checks_;
    std::map<OptionsField, QLineEdit*> edits_;
    QComboBox* language_ = nullptr;
    QPushButton* browse_ = nullptr;
};

// Shows the modal dialog over `form`; true when it was closed with OK (the
// form then holds what the user chose; Cancel leaves it as it was given).
bool RunOptionsDialog(QWidget* parent, OptionsForm& form, const settings::LanguageTable& languages,
                      const platform::TextSource& texts);

}  // namespace quillon::app
