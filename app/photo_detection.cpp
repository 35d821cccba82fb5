#include "app/photo_detection.h"

namespace quillon::app {

metadata::DetectSwitches DetectSwitchesOf(const settings::SettingsValues& values) {
    return {values.detectCamera != 0, values.detectLens != 0, values.detectFlen != 0};
}

PhotoMatch::PhotoMatch(AppState& state, bool invertMode, bool withWindow)
    : settings_{state.stored.values.converterDetected, state.stored.values.flen, invertMode},
      context_{state.session.database,
               state.stored.history,
               state.current.shot,
               state.stored.correction,
               settings_,
               state.session.strings,
               withWindow,
               state.current.image.input.width,
               state.current.image.input.height} {}

void ReadShotInfo(AppState& state) {
    state.current.shot = metadata::ParseImageMetadata(state.current.image.metadata,
                                                      DetectSwitchesOf(state.stored.values));
}

}  // namespace quillon::app
