#pragma once

#include "settings/language_dialog.h"

// The first-run language choice as a window. The controller in settings/
// holds the rules; this shows them.

namespace quillon::app {

class QtLanguagePrompt final : public settings::LanguagePrompt {
  public:
    settings::LanguageChoice Ask(const settings::LanguageTable& table,
                                 int currentProcessors) override;
};

}  // namespace quillon::app
