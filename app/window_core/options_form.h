#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/window_core/window_variant.h"
#include "engine/correction_settings.h"
#include "settings/options_change.h"
#include "settings/settings_io.h"
#include "settings/settings_values.h"

// The Options dialog without its widgets: the working copies it edits, the
// rules of its fields, which fields each of its three variants has (and their
// control numbers), and what OK applies.

namespace quillon::app {

enum class OptionsVariant {
    kBrowser,  // "OPTIONS" of the folder browser
    kEditor,   // "OPTIONSEDIT": without Suffix and the viewer
    kPlugin,  // the plug-in's "OPTIONS": "Always display dialog", no JPEG quality, suffix or viewer
};

enum class OptionsField {
    kResetAlways,
    kConverterDetected,
    kDetectCamera,
    kDetectLens,
    kDetectFlen,
    kResize,
    kAlwaysDisplayDialog,
    kLanguage,
    kThreads,
    kThreadsLabel,  // the plug-in's dialog numbers its label
    kJpegQuality,
    kSuffix,
    kViewer,
    kBrowse,
};

struct OptionsControl {
    OptionsField field;
    int id;      // the control's number in the dialog of its variant
    int textId;  // string number of its text or label
};

// The Options dialog a main window of `variant` opens.
OptionsVariant OptionsVariantFor(WindowVariant variant);
std::string_view OptionsTemplateName(OptionsVariant variant);
// The object name of a field's widget, e.g. "ThreadsEdit".
std::string_view OptionsFieldName(OptionsField field);
// The controls of a variant in the dialog's order.
std::vector<OptionsControl> OptionsControls(OptionsVariant variant);
// Which deliverable and window the variant serves.
settings::SettingsRun OptionsRun(OptionsVariant variant);

inline constexpr std::int32_t kThreadsMin = 1;
inline constexpr std::int32_t kThreadsMax = 64;
inline constexpr std::int32_t kJpegQualityMin = 1;
inline constexpr std::int32_t kJpegQualityMax = 100;

class OptionsForm {
  public:
    OptionsForm(OptionsVariant variant, const settings::SettingsValues& values,
                const engine::CorrectionSettings& correction);

    OptionsVariant variant() const { return variant_; }

    bool Checked(OptionsField field) const;
    void SetChecked(OptionsField field, bool checked);

    const std::string& Language() const { return values_.language; }
    void SetLanguage(std::string language) { values_.language = std::move(language); }

    // The text an edit shows for the working value.
    std::string Text(OptionsField field) const;
    // The user left an edit holding `typed`: Threads and JPEG Quality take a
    // whole number clamped into their ranges (a text that is no number keeps
    // the previous value); an emptied Suffix is refilled with the current one;
    // the viewer is taken as typed. Answers the text the edit shows then.
    std::string Leave(OptionsField field, std::string_view typed);

    // Stores every working value in `values` and `correction` and answers
    // what that sets in motion (a save, a restart, detection again).
    settings::OptionsOutcome Apply(settings::SettingsValues& values,
                                   engine::CorrectionSettings& correction) const;

  private:
    std::int32_t* CheckField(OptionsField field);
    const std::int32_t* CheckField(OptionsField field) const;

    OptionsVariant variant_;
    settings::SettingsValues values_;
    engine::CorrectionSettings correction_;
};

}  // namespace quillon::app
