#pragma once

#include "app/app_state.h"
#include "lensdb/lens_matching.h"
#include "metadata/parse_metadata.h"

// From a loaded photo to the camera and lens it was taken with, using the
// settings of the run. Shared by the quiet correction and the diagnostic tool.

namespace quillon::app {

metadata::DetectSwitches DetectSwitchesOf(const settings::SettingsValues& values);

// Everything matching reads for the photo in `state.current`; keeps the match
// settings it refers to alive as long as itself.
class PhotoMatch {
  public:
    PhotoMatch(AppState& state, bool invertMode, bool withWindow);
    PhotoMatch(const PhotoMatch&) = delete;
    PhotoMatch& operator=(const PhotoMatch&) = delete;

    const lensdb::MatchContext& context() const { return context_; }

  private:
    lensdb::MatchSettings settings_;
    lensdb::MatchContext context_;
};

// Parses the metadata of the loaded photo into state.current.shot with the
// run's detect switches.
void ReadShotInfo(AppState& state);

}  // namespace quillon::app
