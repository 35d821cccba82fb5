#include "settings/options_change.h"

namespace quillon::settings {

OptionsOutcome CompareOptions(const SettingsRun& run, const SettingsValues& before,
                              const engine::CorrectionSettings& correctionBefore,
                              const SettingsValues& after,
                              const engine::CorrectionSettings& correctionAfter) {
    const bool program = run.deliverable == Deliverable::kProgram;
    const bool detection = before.resetAlways != after.resetAlways ||
                           before.converterDetected != after.converterDetected ||
                           before.detectCamera != after.detectCamera ||
                           before.detectLens != after.detectLens ||
                           before.detectFlen != after.detectFlen;

    OptionsOutcome outcome;
    outcome.loadLanguage = before.language != after.language;
    outcome.restartRequired =
        outcome.loadLanguage || correctionBefore.Processors != correctionAfter.Processors;
    outcome.redetect = !outcome.restartRequired && detection;

    bool changed =
        outcome.restartRequired || detection || correctionBefore.Resize != correctionAfter.Resize;
    if (program) {
        changed = changed || before.jpegQuality != after.jpegQuality;
        if (run.mode == WindowMode::kInteractive) {
            changed =
                changed || before.suffix != after.suffix || before.viewerPath != after.viewerPath;
        }
    } else {
        changed = changed || before.alwaysDisplayDialog != after.alwaysDisplayDialog;
    }
    outcome.save = changed;
    return outcome;
}

void AnnounceOptionsOutcome(const OptionsOutcome& outcome, const platform::TextSource& texts,
                            platform::MessageSink& sink) {
    if (outcome.restartRequired) sink.Show(texts.Text(kRestartStringId));
}

}  // namespace quillon::settings
