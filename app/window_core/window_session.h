#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/app_state.h"
#include "app/window_core/enabling.h"
#include "app/window_core/options_form.h"
#include "app/window_core/shift_button.h"
#include "app/window_core/value_rules.h"
#include "engine/worker_pool.h"
#include "imageio/image_file.h"
#include "lensdb/lens_matching.h"
#include "platform/message_sink.h"
#include "preview/display_image.h"
#include "preview/preview_state.h"
#include "preview/show_image.h"

// What the main window does, without the window: it holds the preview of the
// current image and turns every user action (a value, a tab, a menu line, a
// rotation, the shift button, a file to open or to write) into changes of the
// program state and a new render. The widgets show what it holds and forward
// what the user does; tests drive it directly.
//
// Everything runs on the thread that owns the window, except
// CorrectAndWrite, which the window runs on a thread of its own while it
// shows the busy window and lets nothing else touch the image.

namespace quillon::app {

// The tab pages of the main window, in their order.
inline constexpr int kTabVignetting = 0;
inline constexpr int kTabPerspective = 1;
inline constexpr int kTabChromaticAberration = 2;

class WindowSession {
  public:
    WindowSession(AppState& state, platform::MessageSink& sink);
    ~WindowSession();  // waits for a file being read ahead
    WindowSession(const WindowSession&) = delete;
    WindowSession& operator=(const WindowSession&) = delete;

    AppState& state() { return state_; }
    const AppState& state() const { return state_; }
    preview::PreviewState& preview() { return preview_; }
    const preview::PreviewState& preview() const { return preview_; }
    platform::MessageSink& sink() { return sink_; }

    // ---- the image

    // The preview area's inner size changed: the preview of a shown image is
    // built again for it.
    void SetArea(std::int32_t width, std::int32_t height);
    // Shows the photo at `path` and renders it. Answers ShowImage's result
    // (preview::kShownWithLens, kShownWithoutLens, kShowFailed).
    int OpenImage(const std::string& path);
    // Shows the image the caller put into state().current.image (the
    // plug-in's document), whose metadata `readMetadata` reads, and renders
    // it (see ShowImageParts::readMetadata). The image is known by `name`.
    int ShowImageInMemory(const std::string& name,
                          std::function<metadata::ShotInfo(ImageMetadata&)> readMetadata);
    // The rotation buttons: kTurnClockwise or kTurnCounterClockwise.
    int Turn(preview::ShowMode mode);
    bool ImageShown() const;
    // Forgets the image shown (the window shows none).
    void CloseImage();
    // Several files are selected in the folder browser: no image is shown and
    // the preview area stays empty.
    void ShowSeveralSelected();

    // A batch shows each of its files in two steps: the file is read on the
    // batch's own thread (painting uses only the preview, which this leaves
    // alone), then shown on the window's thread. ReadForBatch answers whether
    // the file was read; ShowReadFile answers ShowImage's result, with
    // kShownWithoutLens also for a photo without a focal length whose lens
    // would be corrected at a guessed one.
    bool ReadForBatch(const std::string& path);
    int ShowReadFile(const std::string& path, bool read);
    // The batch reads its next file while the present one is corrected and
    // written: ReadAhead starts reading `path` into an image of its own on a
    // thread (without a thread to be had, the file is read in its turn), and
    // ReadForBatch of that path takes it, saying what the reading had to say
    // only then. DropReadAhead forgets it (a batch that stops).
    void ReadAhead(const std::string& path);
    void DropReadAhead();

    // ---- the correction values

    std::int32_t Value(ValueKey key) const;
    // Stores a value of a value control (kept inside its range) and renders.
    // False when it equals the value held, which changes nothing.
    bool SetValue(ValueKey key, std::int32_t value);
    void SetCorrectionKind(std::int32_t corChoice);
    void ResetAll();
    void ResetFisheye();
    // The Reset button of tab page `tab`.
    void ResetPage(int tab);
    void ShiftStep(ShiftDirection direction);

    int Tab() const;
    // Leaving the chromatic-aberration page switches its zoom off; coming back
    // restores the zoom last set there.
    void SelectTab(int tab);

    bool PreviewOn() const { return previewOn_; }
    void SetPreviewOn(bool on);
    // The mouse is held on the preview to see the photo uncorrected.
    void SetComparing(bool comparing);
    std::int32_t Grid() const { return preview_.grid; }
    void SetGrid(std::int32_t grid);
    void SetGridColour(std::int32_t colourValue);
    // While Alt is held during a change of a chromatic-aberration value the
    // zoom region shows only the two channels it moves against each other.
    void SetChannelView(preview::ChannelView view) { channelView_ = view; }

    // ---- camera and lens

    void ChooseMake(int line);
    void ChooseModel(int line);
    void ChooseLens(int line);
    void EnterFocalLength(const std::string& text);
    // Moves the focal length by `stepMm` within the lens's calibrated range.
    void StepFocalLength(std::int32_t stepMm);
    // The information box: the photo's description and the lens messages.
    std::string InfoText();

    // ---- the zoom view

    // Re-corrects the zoom region after it moved (the end of a scroll or drag).
    void CorrectZoomRegion();
    // The zoom region as it is to be stretched over the area; false when the
    // zoom is off or nothing can be shown.
    bool PresentZoom(preview::DisplayImage& out) const;

    // ---- the Options dialog

    // A changed language or number of threads takes effect at the next start;
    // until then the correction controls stay disabled. Opening the Options
    // dialog again clears the mark.
    bool RestartPending() const { return restartPending_; }
    void SetRestartPending(bool pending) { restartPending_ = pending; }
    // Camera and lens detection run again on the image shown (a detection
    // preference changed): the file is read and shown anew, an image in
    // memory shown again with its metadata read anew.
    void Redetect();
    // OK in the Options dialog: stores the working values, loads the strings
    // of a new language at once, saves the preferences (once) when one
    // changed, and then either says a restart is needed and marks it, or runs
    // detection again when a detection preference changed.
    settings::OptionsOutcome ApplyOptions(const OptionsForm& form);
    // What the settings store does for the window; the program wires its
    // store, tests record the calls.
    struct SettingsActions {
        std::function<void()> savePreferences;
        std::function<void()> dump;  // the diagnostic dump on the desktop
    };
    void SetSettingsActions(SettingsActions actions) { settingsActions_ = std::move(actions); }
    void DumpSettings() {
        if (settingsActions_.dump) settingsActions_.dump();
    }

    // ---- the state of the controls

    EnablingFacts Facts() const;
    ControlEnabling Enabling() const { return DecideEnabling(Facts()); }
    // While a file is written nothing renders and the controls are disabled.
    void SetBusy(bool busy);
    bool Busy() const { return preview_.imageState == preview::kImageBusy; }

    // ---- the editor's files

    // Takes the next path of the command line, checks it as the quiet mode
    // does and shows it. False at the end of the list, or after a check or
    // the reading failed (with its message; no image is shown then).
    bool OpenNextFile();
    // The file in work is the last of the list (or there is none).
    bool AtLastFile() const;
    // The status bar's text for the editor's file in work.
    std::string EditStatusText() const;

    // ---- writing

    // Corrects the full image with the values in use when the window went
    // busy and writes it as `options` say (over the shown file in the
    // editor). Runs on a thread of its own while the window is busy; reports
    // through `progress`. 0 when the file was written; otherwise the failure
    // has shown its message.
    int CorrectAndWrite(const imageio::ImageFileOptions& options, engine::WorkProgress& progress);

    // Re-renders the fitted view; called after every change.
    void Render();

  private:
    struct PendingRead;

    preview::ShowImageParts Parts();
    // Matching with a window, reading and writing `settings` (the focal
    // length last used goes back into the stored values after each handler).
    lensdb::MatchContext MatchContextWith(lensdb::MatchSettings& settings);
    // Runs a lens handler with a window's match context, then the coefficients
    // for the new choice and a render.
    template <class Handler>
    void ChangeLens(const Handler& handler);
    void AfterImageShown();
    void UpdateInfoText();
    void RenderNow();
    // The preview of the shown image built again for the area.
    void Rebuild();
    void CorrectZoomIfActive();

    AppState& state_;
    platform::MessageSink& sink_;
    engine::EngineContext engine_;
    preview::PreviewState preview_;
    bool previewOn_ = true;
    bool comparing_ = false;
    std::int32_t lastZoom_ = 0;  // the zoom last set on the chromatic-aberration page
    int busyFrom_ = preview::kImageNone;
    engine::CorrectionSettings busyValues_;  // what a write corrects with
    std::string infoText_;                   // the last information text
    bool areaChangedWhileBusy_ = false;
    bool restartPending_ = false;
    SettingsActions settingsActions_;
    preview::ChannelView channelView_ = preview::ChannelView::kAll;
    // Where the metadata of an image in memory comes from.
    std::function<metadata::ShotInfo(ImageMetadata&)> readMetadata_;
    // The batch's next file, being read ahead.
    std::unique_ptr<PendingRead> ahead_;
};

}  // namespace quillon::app
