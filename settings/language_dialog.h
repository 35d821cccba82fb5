#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/languages.h"

// The first-run language choice ("LANG" window). It is the only window shown
// before any strings are loaded, so its texts are fixed English. The controller
// holds the working copies and the rules; a GUI view shows them and reports
// the user's actions, and quiet starts without a display use Cancel directly.

namespace quillon::settings {

inline constexpr std::string_view kLanguageDialogTemplate = "LANG";
inline constexpr std::string_view kLanguageDialogTitle = "Welcome...";
inline constexpr std::string_view kLanguageDialogOk = "OK";
inline constexpr std::string_view kLanguageDialogLanguageLabel = "Language";
inline constexpr std::string_view kLanguageDialogHelpLine1 =
    "For instructions choose Help > Quillon Help";
inline constexpr std::string_view kLanguageDialogHelpLine2 = "and read the Getting Started section";
inline constexpr std::string_view kLanguageDialogProcessorsLabel = "Processors";
inline constexpr int kLanguageListControl = 1035;
inline constexpr int kProcessorsEditControlProgram = 1111;
inline constexpr int kProcessorsEditControlPlugin = 1129;

// What the dialog hands back to the settings: the Language and Processors values.
struct LanguageChoice {
    std::string language;
    int processors = 0;
};

class LanguageDialogController {
  public:
    // Opening the dialog: the list holds the table's names, "English" is
    // selected when the table has it, and the Processors value is copied.
    LanguageDialogController(const LanguageTable& table, int currentProcessors);

    const std::vector<std::string>& LanguageNames() const { return names_; }
    // Index in LanguageNames(), or -1 when nothing is selected.
    int SelectedIndex() const { return selected_; }
    const std::string& WorkingLanguage() const { return language_; }
    int WorkingProcessors() const { return processors_; }
    std::string ProcessorsText() const;

    // The list selection changed; an index outside the list is ignored.
    void SelectLanguage(int index);
    // The Processors field lost the focus with `typed` in it. Returns the text
    // the field must show afterwards.
    std::string CommitProcessorsText(std::string_view typed);

    LanguageChoice Ok() const;
    // Esc or closing the window.
    LanguageChoice Cancel() const;

  private:
    std::vector<std::string> names_;
    int selected_ = -1;
    std::string language_;
    int processors_ = 0;
    int openingProcessors_ = 0;
};

// Shows the first-run choice and returns the user's answer; the GUI provides
// the real one. Settings loading calls it only when no Language is stored.
class LanguagePrompt {
  public:
    virtual ~LanguagePrompt() = default;
    virtual LanguageChoice Ask(const LanguageTable& table, int currentProcessors) = 0;
};

// Used when no window can be shown (a quiet start without a display): the
// answer is the dialog's Cancel, English with Processors unchanged.
class NoDisplayLanguagePrompt final : public LanguagePrompt {
  public:
    LanguageChoice Ask(const LanguageTable& table, int currentProcessors) override;
};

// The settings loader's first-run hook, answered by `prompt` over `table`;
// both must outlive the returned function.
std::function<void(std::string& language, std::int32_t& processors)> LanguageChooser(
    LanguagePrompt& prompt, const LanguageTable& table);

}  // namespace quillon::settings
