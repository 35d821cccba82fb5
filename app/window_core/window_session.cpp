#include "app/window_core/window_session.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <system_error>
#include <thread>

#include "app/full_correction.h"
#include "app/quiet_checks.h"
#include "app/window_core/file_browser.h"
#include "lensdb/lens_matching.h"
#include "metadata/info_text.h"
#include "preview/grid.h"
#include "settings/languages.h"

namespace quillon::app {

namespace {

// "%.3f" without the C library, whose decimal point follows the locale a
// window may have set.
std::string Fixed3(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 3);
    return result.ec == std::errc() ? std::string(text, result.ptr) : std::string();
}

// The frame takes a pixel on each side.
constexpr std::int32_t kSmallestArea = 3;

}  // namespace

WindowSession::WindowSession(AppState& state, platform::MessageSink& sink)
    : state_(state), sink_(sink), engine_{state.pool, sink} {
    // The stored values come from a file anybody can edit. A fisheye field of
    // view outside its range opens at the smallest one; the others are brought
    // into their ranges as their controls would show them.
    engine::CorrectionSettings& c = state_.stored.correction;
    if (c.FisheyeDistortion < engine::kFisheyeDistortionMin ||
        c.FisheyeDistortion > engine::kFisheyeDistortionMax) {
        c.FisheyeDistortion = engine::kFisheyeDistortionMin;
    }
    engine::ClampToRanges(c);
    std::int32_t& tab = state_.stored.values.tab;
    if (tab < kTabVignetting || tab > kTabChromaticAberration) tab = kTabVignetting;
}

preview::ShowImageParts WindowSession::Parts() {
    return preview::ShowImageParts{state_.stored.values,
                                   state_.stored.correction,
                                   state_.stored.history,
                                   state_.session.database,
                                   state_.session.strings,
                                   state_.current.image,
                                   state_.current.shot,
                                   state_.current.selection,
                                   preview_,
                                   engine_,
                                   state_.start.invertMode,
                                   readMetadata_};
}

lensdb::MatchContext WindowSession::MatchContextWith(lensdb::MatchSettings& settings) {
    settings = {state_.stored.values.converterDetected, state_.stored.values.flen,
                state_.start.invertMode};
    return {state_.session.database,
            state_.stored.history,
            state_.current.shot,
            state_.stored.correction,
            settings,
            state_.session.strings,
            /*withWindow=*/true,
            state_.current.image.input.width,
            state_.current.image.input.height};
}

// ---- the image

void WindowSession::SetArea(std::int32_t width, std::int32_t height) {
    if (width == preview_.areaWidth && height == preview_.areaHeight) return;
    preview_.areaWidth = width;
    preview_.areaHeight = height;
    if (Busy()) {
        // The image is being written: its preview is rebuilt when that ends.
        areaChangedWhileBusy_ = true;
        return;
    }
    Rebuild();
}

void WindowSession::Rebuild() {
    // An area with no room inside its frame (a window being minimised, a
    // layout not done yet) holds no preview: the image stays as it was until
    // the area has room again.
    if (!ImageShown() || preview_.areaWidth < kSmallestArea ||
        preview_.areaHeight < kSmallestArea) {
        return;
    }
    preview::ShowImageParts parts = Parts();
    (void)preview::ShowImage(parts, preview_.path, preview::ShowMode::kRebuild);
    AfterImageShown();
}

int WindowSession::OpenImage(const std::string& path) {
    if (Busy()) return preview::kShowFailed;
    readMetadata_ = nullptr;
    preview::ShowImageParts parts = Parts();
    const int result = preview::ShowImage(parts, path, preview::ShowMode::kReadFile);
    AfterImageShown();
    return result;
}

int WindowSession::ShowImageInMemory(
    const std::string& name, std::function<metadata::ShotInfo(ImageMetadata&)> readMetadata) {
    if (Busy()) return preview::kShowFailed;
    readMetadata_ = std::move(readMetadata);
    preview::ShowImageParts parts = Parts();
    const int result = preview::ShowImage(parts, name, preview::ShowMode::kImageInMemory);
    AfterImageShown();
    return result;
}

int WindowSession::Turn(preview::ShowMode mode) {
    if (!ImageShown() || Busy()) return preview::kShowFailed;
    preview::ShowImageParts parts = Parts();
    const int result = preview::ShowImage(parts, preview_.path, mode);
    AfterImageShown();
    return result;
}

void WindowSession::AfterImageShown() {
    state_.current.imageShown = ImageShown();
    // A new or turned image starts without the zoom (the chromatic-aberration
    // page brings it back when the user comes to it again); a rebuilt one
    // keeps its region, which is corrected anew.
    CorrectZoomIfActive();
    Render();
}

bool WindowSession::ImageShown() const {
    return preview_.imageState == preview::kImageShown ||
           preview_.imageState == preview::kImageBusy;
}

void WindowSession::CloseImage() {
    preview_.ReleaseImage();
    preview_.imageState = preview::kImageNone;
    state_.current.imageShown = false;
}

void WindowSession::ShowSeveralSelected() {
    if (Busy()) return;
    CloseImage();
    preview_.imageState = preview::kImageSeveralSelected;
}

struct WindowSession::PendingRead {
    std::string path;
    CurrentImage image;
    platform::CapturingSink messages;
    bool read = false;
    std::thread thread;

    ~PendingRead() {
        if (thread.joinable()) thread.join();
    }
};

bool WindowSession::ReadForBatch(const std::string& path) {
    if (ahead_ != nullptr && ahead_->path == path) {
        const std::unique_ptr<PendingRead> pending = std::move(ahead_);
        pending->thread.join();
        for (const platform::CapturedMessage& message : pending->messages.Messages()) {
            sink_.Show(message.text, message.caption);
        }
        state_.current.image = std::move(pending->image);
        return pending->read;
    }
    DropReadAhead();
    return imageio::LoadImageFile(path, state_.current.image, sink_).ok();
}

void WindowSession::ReadAhead(const std::string& path) {
    DropReadAhead();
    auto pending = std::make_unique<PendingRead>();
    pending->path = path;
    PendingRead* const reading = pending.get();
    try {
        pending->thread = std::thread([reading] {
            reading->read =
                imageio::LoadImageFile(reading->path, reading->image, reading->messages).ok();
        });
    } catch (const std::system_error&) {
        return;
    }
    ahead_ = std::move(pending);
}

void WindowSession::DropReadAhead() { ahead_.reset(); }

WindowSession::~WindowSession() = default;

int WindowSession::ShowReadFile(const std::string& path, bool read) {
    preview::ShowImageParts parts = Parts();
    int result = preview::kShowFailed;
    if (read) {
        result = preview::ShowImage(parts, path, preview::ShowMode::kReadByCaller);
    } else {
        // The reader has said why; the window shows no image now.
        CloseImage();
        preview_.path = path;
    }
    if (result != preview::kShowFailed) {
        busyFrom_ = preview::kImageShown;
        // The batch waits meanwhile: nothing else reads the lens choice or
        // uses the workers now, so the photo is described and rendered.
        UpdateInfoText();
    }
    state_.current.imageShown = ImageShown();
    RenderNow();
    return result;
}

void WindowSession::Redetect() {
    if (!ImageShown() || Busy()) return;
    // An image in memory is shown again as it is, its metadata read anew from
    // where it came from.
    if (readMetadata_) {
        (void)ShowImageInMemory(preview_.path, readMetadata_);
        return;
    }
    (void)OpenImage(preview_.path);
}

settings::OptionsOutcome WindowSession::ApplyOptions(const OptionsForm& form) {
    settings::SettingsValues& values = state_.stored.values;
    const settings::OptionsOutcome outcome = form.Apply(values, state_.stored.correction);
    if (outcome.loadLanguage) {
        (void)settings::SelectLanguage(state_.session.languages, values.language,
                                       state_.session.strings, sink_);
    }
    if (outcome.save && settingsActions_.savePreferences) settingsActions_.savePreferences();
    settings::AnnounceOptionsOutcome(outcome, state_.session.strings, sink_);
    if (outcome.restartRequired) restartPending_ = true;
    if (outcome.redetect) Redetect();
    return outcome;
}

// ---- the correction values

std::int32_t WindowSession::Value(ValueKey key) const {
    const ValueControlInfo& info = InfoOf(key);
    if (info.field == nullptr) return preview_.zoom.step();
    return state_.stored.correction.*info.field;
}

bool WindowSession::SetValue(ValueKey key, std::int32_t value) {
    const ValueControlInfo& info = InfoOf(key);
    value = std::clamp(value, info.range.minimum, info.range.maximum);
    if (value == Value(key)) return false;
    if (info.field == nullptr) {
        // The zoom view shows a region of an image: without one there is none.
        if (!ImageShown() || Busy()) return false;
        lastZoom_ = value;
        if (!preview::SetZoomStep(preview_, value, state_.current.image.input, sink_)) {
            lastZoom_ = 0;
        }
        CorrectZoomIfActive();
        return true;
    }
    state_.stored.correction.*info.field = value;
    if (key == ValueKey::kCaRed || key == ValueKey::kCaBlue) CorrectZoomIfActive();
    Render();
    return true;
}

void WindowSession::SetCorrectionKind(std::int32_t corChoice) {
    state_.stored.correction.CorChoice = engine::ClampCorChoice(corChoice);
    Render();
}

void WindowSession::ResetAll() {
    engine::ResetCorrectionValues(state_.stored.correction);
    lastZoom_ = 0;
    if (preview_.zoom.Active()) {
        (void)preview::SetZoomStep(preview_, 0, state_.current.image.input, sink_);
    }
    preview_.grid = preview::kGridOff;
    Render();
}

void WindowSession::ResetFisheye() {
    engine::CorrectionSettings& c = state_.stored.correction;
    c.FisheyeCrop = 0;
    c.FisheyeRotate = 0;
    c.FisheyeHorz = 0;
    c.FisheyeVert = 0;
    Render();
}

void WindowSession::ResetPage(int tab) {
    engine::CorrectionSettings& c = state_.stored.correction;
    const engine::CorrectionSettings defaults;
    switch (tab) {
        case kTabVignetting:
            c.VigAmount = defaults.VigAmount;
            c.VigMidpoint = defaults.VigMidpoint;
            break;
        case kTabPerspective:
            c.PerspectVert = defaults.PerspectVert;
            c.PerspectHorz = defaults.PerspectHorz;
            c.PerspectRotate = defaults.PerspectRotate;
            c.PerspectScale = defaults.PerspectScale;
            c.PerspectShiftHorz = defaults.PerspectShiftHorz;
            c.PerspectShiftVert = defaults.PerspectShiftVert;
            break;
        case kTabChromaticAberration:
            c.CaRed = defaults.CaRed;
            c.CaBlue = defaults.CaBlue;
            CorrectZoomIfActive();
            break;
        default:
            return;
    }
    Render();
}

void WindowSession::ShiftStep(ShiftDirection direction) {
    ApplyShiftStep(direction, state_.stored.correction);
    Render();
}

int WindowSession::Tab() const { return state_.stored.values.tab; }

void WindowSession::SelectTab(int tab) {
    if (tab < kTabVignetting || tab > kTabChromaticAberration) tab = kTabVignetting;
    state_.stored.values.tab = tab;
    const std::int32_t zoom = tab == kTabChromaticAberration ? lastZoom_ : 0;
    if (zoom != preview_.zoom.step() && ImageShown() && !Busy()) {
        (void)preview::SetZoomStep(preview_, zoom, state_.current.image.input, sink_);
        CorrectZoomIfActive();
    }
    Render();
}

void WindowSession::SetPreviewOn(bool on) {
    previewOn_ = on;
    CorrectZoomIfActive();
    Render();
}

void WindowSession::SetComparing(bool comparing) {
    if (comparing_ == comparing) return;
    comparing_ = comparing;
    Render();
}

void WindowSession::SetGrid(std::int32_t grid) {
    preview_.grid = std::clamp(grid, preview::kGridOff, preview::kGridMax);
    Render();
}

void WindowSession::SetGridColour(std::int32_t colourValue) {
    state_.stored.values.gridColor = colourValue;
    Render();
}

// ---- camera and lens

template <class Handler>
void WindowSession::ChangeLens(const Handler& handler) {
    if (!ImageShown() || Busy()) return;
    lensdb::MatchSettings settings;
    const lensdb::MatchContext context = MatchContextWith(settings);
    handler(context, state_.current.selection);
    // A choice that leaves no usable lens is no failure: the render shows the
    // photo without the lens correction and the information box says why.
    (void)lensdb::ComputeCoefficients(context, state_.current.selection);
    state_.stored.values.flen = settings.flen;
    Render();
}

void WindowSession::ChooseMake(int line) {
    ChangeLens([line](const lensdb::MatchContext& c, lensdb::LensSelection& s) {
        lensdb::MakeChanged(c, s, line);
    });
}

void WindowSession::ChooseModel(int line) {
    ChangeLens([line](const lensdb::MatchContext& c, lensdb::LensSelection& s) {
        lensdb::ModelChanged(c, s, line);
    });
}

void WindowSession::ChooseLens(int line) {
    ChangeLens([line](const lensdb::MatchContext& c, lensdb::LensSelection& s) {
        lensdb::LensChanged(c, s, line);
    });
}

void WindowSession::EnterFocalLength(const std::string& text) {
    ChangeLens([&text](const lensdb::MatchContext& c, lensdb::LensSelection& s) {
        lensdb::FocalLengthEntered(c, s, text);
    });
}

void WindowSession::StepFocalLength(std::int32_t stepMm) {
    // FocalLengthEntered keeps the value inside the lens's calibrated range.
    EnterFocalLength(Fixed3(static_cast<double>(state_.current.selection.focalInUse) + stepMm));
}

std::string WindowSession::InfoText() {
    if (!ImageShown()) return {};
    // While a file is written its correction reads the lens choice; the text
    // (whose detection part computes coefficients) waits until it is done.
    if (!Busy()) UpdateInfoText();
    return infoText_;
}

void WindowSession::UpdateInfoText() {
    lensdb::MatchSettings settings;
    const lensdb::MatchContext context = MatchContextWith(settings);
    lensdb::LensSelection& selection = state_.current.selection;
    infoText_ = metadata::BuildInfoText(state_.current.shot, lensdb::InfoContextOf(selection),
                                        state_.session.strings) +
                lensdb::DetectionText(context, selection);
}

// ---- the zoom view

void WindowSession::CorrectZoomIfActive() {
    if (!preview_.zoom.Active() || !preview_.fullSize.Valid() || Busy()) return;
    const engine::CorrectionSettings& c = state_.stored.correction;
    const preview::RegionCorrection correction{previewOn_, c.CaRed, c.CaBlue, channelView_};
    // A failure has shown its message; the region stays as it was.
    (void)preview_.zoom.CorrectRegion(correction, preview_.fullSize.Image(), engine_);
}

void WindowSession::CorrectZoomRegion() { CorrectZoomIfActive(); }

bool WindowSession::PresentZoom(preview::DisplayImage& out) const {
    if (!preview_.zoom.Active() || !preview_.fullSize.Valid()) return false;
    return preview_.zoom.Present(preview_.fullSize.Image(), preview_.transform, out);
}

// ---- the state of the controls

EnablingFacts WindowSession::Facts() const {
    const lensdb::LensSelection& selection = state_.current.selection;
    EnablingFacts facts;
    facts.imageState = preview_.imageState;
    facts.restartPending = restartPending_;
    // While a file is written or read the image belongs to that work; nothing
    // is usable then anyway.
    facts.outOfMemory = preview_.outOfMemory || (!Busy() && state_.current.image.outOfMemory);
    facts.zoomOn = preview_.zoom.Active();
    facts.cameraListsFilled = !selection.makeMenu.lines.empty();
    if (selection.IsRealLensSelected()) {
        const auto points = state_.session.database.PointsOf(*selection.selectedLens);
        facts.lensHasFocalRange = points.size() > 1 && points.front().focal != points.back().focal;
    }
    facts.lensCorrectionReady =
        preview::LensStateOf(selection, state_.stored.correction).distortionUsable;
    facts.imageTurned = preview_.turned;
    facts.values = state_.stored.correction;
    return facts;
}

void WindowSession::SetBusy(bool busy) {
    if (busy == Busy()) return;
    if (busy) {
        busyValues_ = state_.stored.correction;
        busyFrom_ = preview_.imageState;
        preview_.imageState = preview::kImageBusy;
    } else {
        preview_.imageState = busyFrom_;
        if (areaChangedWhileBusy_) Rebuild();
        areaChangedWhileBusy_ = false;
    }
}

// ---- the editor's files

bool WindowSession::OpenNextFile() {
    const std::string* next = state_.start.fileList.Next();
    if (next == nullptr) return false;
    if (CheckImagePath(*next, sink_) != 0) {
        CloseImage();
        return false;
    }
    return OpenImage(*next) != preview::kShowFailed;
}

bool WindowSession::AtLastFile() const {
    const FileList& list = state_.start.fileList;
    return list.current + 1 >= static_cast<int>(list.paths.size());
}

std::string WindowSession::EditStatusText() const {
    const FileList& list = state_.start.fileList;
    if (list.current < 0 || list.current >= static_cast<int>(list.paths.size())) return {};
    const std::string& path = list.paths[static_cast<std::size_t>(list.current)];
    if (list.paths.size() == 1) return path;
    return CounterText(list.current + 1, static_cast<int>(list.paths.size()), path);
}

// ---- writing

int WindowSession::CorrectAndWrite(const imageio::ImageFileOptions& options,
                                   engine::WorkProgress& progress) {
    // The values as they were when the window went busy, in a copy that takes
    // the crop shifts the correction limits, so each file of a batch starts
    // from the same values.
    engine::CorrectionSettings values = busyValues_;
    const FullCorrection job{preview_.path, options, values, engine::SourceUse::kKeep};
    return CorrectAndSave(state_, job, sink_, progress);
}

void WindowSession::Render() {
    if (!Busy()) RenderNow();
}

void WindowSession::RenderNow() {
    // A failed render has shown its message and left the uncorrected photo.
    (void)preview::RenderPreview(preview_, state_.stored.correction, state_.current.selection,
                                 previewOn_, comparing_, state_.stored.values.gridColor, engine_);
}

}  // namespace quillon::app
