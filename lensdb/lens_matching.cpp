#include "lensdb/lens_matching.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "platform/paths.h"
#include "text/messages.h"

namespace quillon::lensdb {

namespace {

constexpr char kLineEnd[] = "\r\n";

bool Same(const char* a, const char* b) { return std::strcmp(a, b) == 0; }
bool Same(const char* a, const std::string& b) { return b == a; }

// `value` within the tolerance of `target`.
bool Near(double value, double target) { return std::fabs(value - target) <= kMatchTolerance; }

std::string Fixed3(double value) {
    char buffer[64];
    // Independent of the locale, which a GUI toolkit may have switched to one
    // with a decimal comma.
    const auto result =
        std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::fixed, 3);
    return result.ec == std::errc() ? std::string(buffer, result.ptr) : std::string("0.000");
}

int CountLenses(const LensSelection& selection) {
    int count = 0;
    for (const LensEntry* l = selection.pseudoLens.menuNext; l != nullptr; l = l->menuNext) {
        ++count;
    }
    return count;
}

// Whether a lens's converter changes the focal length written by the camera.
bool AppliesConverter(const LensEntry& lens, const MatchSettings& settings) {
    return std::fabs(static_cast<double>(lens.converterFactor) - 1.0) >= kMatchTolerance &&
           settings.converterDetected == 0;
}

void DetectCameras(const MatchContext& ctx, LensSelection& sel) {
    const metadata::ShotInfo& shot = ctx.shot;
    CameraEntry* tail = nullptr;
    auto append = [&](CameraEntry* cam) {
        cam->candidateNext = nullptr;
        if (tail == nullptr) {
            sel.candidates = cam;
        } else {
            tail->candidateNext = cam;
        }
        tail = cam;
    };
    if (!shot.make.empty() && !shot.model.empty()) {
        auto fits = [&](const CameraEntry* cam) {
            return platform::EqualsIgnoringCase(cam->exifMake, shot.make) &&
                   platform::EqualsIgnoringCase(cam->exifModel, shot.model);
        };
        CameraEntry* cam = ctx.database.CameraListHead();
        while (cam != nullptr && !fits(cam)) cam = cam->next;
        // Variants of one camera (aspect-ratio modes) are neighbours in the
        // list; a later namesake elsewhere is not a candidate.
        for (; cam != nullptr && fits(cam); cam = cam->next) append(cam);
    } else {
        for (CameraEntry* cam = ctx.database.CameraListHead(); cam != nullptr; cam = cam->next) {
            append(cam);
        }
    }
}

void ChooseCamera(const MatchContext& ctx, LensSelection& sel) {
    sel.selectedCamera = sel.candidates;
    if (ctx.history.empty()) return;
    const bool haveNames = !ctx.shot.make.empty() && !ctx.shot.model.empty();
    // Without names every camera is a candidate, so only the latest choice is
    // a meaningful hint.
    const std::size_t entries = haveNames ? ctx.history.size() : 1;
    for (std::size_t i = 0; i < entries; ++i) {
        const HistoryEntry& entry = ctx.history[i];
        for (CameraEntry* cam = sel.candidates; cam != nullptr; cam = cam->candidateNext) {
            if (Same(cam->menuMake, entry.menuMake) && Same(cam->menuModel, entry.menuModel)) {
                sel.selectedCamera = cam;
                return;
            }
        }
    }
}

void FillModelMenu(LensSelection& sel) {
    sel.modelMenu = {};
    for (CameraEntry* cam = sel.candidates; cam != nullptr; cam = cam->candidateNext) {
        if (!Same(cam->menuMake, sel.selectedCamera->menuMake)) continue;
        cam->modelMenuIndex = static_cast<std::int32_t>(sel.modelMenu.lines.size());
        sel.modelMenu.lines.emplace_back(cam->menuModel);
    }
    sel.modelMenu.selected = sel.selectedCamera->modelMenuIndex;
}

void FillMakeAndModelMenus(LensSelection& sel) {
    sel.makeMenu = {};
    for (CameraEntry* cam = sel.candidates; cam != nullptr; cam = cam->candidateNext) {
        // One line per run of cameras of the same make.
        if (sel.makeMenu.lines.empty() || !Same(cam->menuMake, sel.makeMenu.lines.back())) {
            sel.makeMenu.lines.emplace_back(cam->menuMake);
        }
        cam->makeMenuIndex = static_cast<std::int32_t>(sel.makeMenu.lines.size() - 1);
    }
    sel.makeMenu.selected = sel.selectedCamera->makeMenuIndex;
    FillModelMenu(sel);
}

bool CameraTakesGroup(const CameraEntry& cam, const char* group) {
    for (const GroupLink* g = cam.groups; g != nullptr; g = g->next) {
        if (Same(g->group, group)) return true;
    }
    return false;
}

void SetStandardLensFlag(const MatchContext& ctx, CameraEntry& cam) {
    cam.hasStandardLens = 0;
    for (const LensEntry* l = ctx.database.LensListHead(); l != nullptr; l = l->next) {
        if (Same(l->menuLens, kStandardLensName.data()) && CameraTakesGroup(cam, l->group)) {
            cam.hasStandardLens = 1;
            return;
        }
    }
}

bool IsEligible(const MatchContext& ctx, const LensEntry& lens, const CameraEntry& cam) {
    const metadata::ShotInfo& shot = ctx.shot;
    if (cam.cropFactor < lens.calibrationCrop) return false;
    const bool converter = AppliesConverter(lens, ctx.settings);
    const double factor = converter ? static_cast<double>(lens.converterFactor) : 1.0;
    if (shot.focalLength != 0.0 && lens.minFlen != 0.0f && lens.maxFlen != 0.0f) {
        const double f = shot.focalLength * factor;
        if (f < lens.minFlen - kMatchTolerance || f > lens.maxFlen + kMatchTolerance) return false;
    }
    if (cam.hasStandardLens != 0) return true;
    const double a1 = shot.minFlenMaxAper;
    const double a2 = shot.maxFlenMaxAper;
    if (a1 != 0.0 && a2 != 0.0 && lens.minFlenMaxAper != 0.0f && lens.maxFlenMaxAper != 0.0f &&
        (!Near(a1, lens.minFlenMaxAper) || !Near(a2, lens.maxFlenMaxAper))) {
        return false;
    }
    if (shot.fNumber != 0.0 && lens.minFlenMaxAper != 0.0f &&
        shot.fNumber < lens.minFlenMaxAper - kMatchTolerance) {
        return false;
    }
    // The range as the metadata gave it: minFlen and maxFlen themselves may
    // already hold a converter applied for a previous choice on this image.
    if (shot.originalMinFlen != 0.0 && shot.originalMaxFlen != 0.0 &&
        (!Near(shot.originalMinFlen * factor, lens.minFlen) ||
         !Near(shot.originalMaxFlen * factor, lens.maxFlen))) {
        return false;
    }
    return true;
}

void BuildLensMenuList(const MatchContext& ctx, LensSelection& sel) {
    CameraEntry& cam = *sel.selectedCamera;
    SetStandardLensFlag(ctx, cam);
    sel.lensMenu = &sel.pseudoLens;
    sel.pseudoLens.menuNext = nullptr;
    LensEntry* tail = &sel.pseudoLens;
    for (const GroupLink* g = cam.groups; g != nullptr; g = g->next) {
        // A group named twice would append its lenses twice and close the menu
        // list into a loop.
        bool seen = false;
        for (const GroupLink* h = cam.groups; h != g; h = h->next)
            seen = seen || Same(h->group, g->group);
        if (seen) continue;
        LensEntry* lens = ctx.database.LensListHead();
        while (lens != nullptr) {
            if (!Same(lens->group, g->group) || !IsEligible(ctx, *lens, cam)) {
                lens = lens->next;
                continue;
            }
            lens->menuNext = nullptr;
            tail->menuNext = lens;
            tail = lens;
            // The same lens calibrated on other sensors follows it; the first
            // that fits is the one offered.
            LensEntry* after = lens->next;
            while (after != nullptr && Same(after->group, lens->group) &&
                   Same(after->menuLens, lens->menuLens)) {
                after = after->next;
            }
            lens = after;
        }
    }
}

LensEntry* FirstLensNamed(LensSelection& sel, const std::string& name) {
    for (LensEntry* l = sel.pseudoLens.menuNext; l != nullptr; l = l->menuNext) {
        if (Same(l->menuLens, name)) return l;
    }
    return nullptr;
}

void Select(LensSelection& sel, LensEntry* lens, LensChoice choice) {
    sel.selectedLens = lens;
    sel.lensChoice = choice;
}

void ChooseLensByFocalLength(const MatchContext& ctx, LensSelection& sel) {
    const metadata::ShotInfo& shot = ctx.shot;
    const CameraEntry& cam = *sel.selectedCamera;
    sel.selectedLens = &sel.pseudoLens;
    if (!sel.HasLensChoices()) return;
    const std::int32_t signature = LensSignature(shot);
    const double f = shot.focalLength;
    for (const HistoryEntry& entry : ctx.history) {
        if (!Same(cam.menuMake, entry.menuMake) || !Same(cam.menuModel, entry.menuModel)) continue;
        if (cam.hasStandardLens == 0) {
            if (f < entry.minFlen - kMatchTolerance || f > entry.maxFlen + kMatchTolerance)
                continue;
            const bool apertures = entry.minFlenMaxAper != 0.0f && entry.maxFlenMaxAper != 0.0f &&
                                   shot.minFlenMaxAper != 0.0 && shot.maxFlenMaxAper != 0.0;
            if (apertures &&
                (std::fabs(entry.minFlenMaxAper - shot.minFlenMaxAper) >= kMatchTolerance ||
                 std::fabs(entry.maxFlenMaxAper - shot.maxFlenMaxAper) >= kMatchTolerance)) {
                continue;
            }
            if (entry.signature != signature) continue;
        }
        if (LensEntry* lens = FirstLensNamed(sel, entry.menuLens)) {
            Select(sel, lens, LensChoice::kHistory);
            return;
        }
        break;
    }
    if (cam.hasStandardLens != 0) {
        if (LensEntry* lens = FirstLensNamed(sel, std::string(kStandardLensName))) {
            Select(sel, lens, LensChoice::kStandardLens);
            return;
        }
    }
    if (CountLenses(sel) == 1) Select(sel, sel.pseudoLens.menuNext, LensChoice::kOnlyLens);
}

void ChooseLensWithoutFocalLength(const MatchContext& ctx, LensSelection& sel) {
    sel.selectedLens = &sel.pseudoLens;
    if (CountLenses(sel) == 1) {
        Select(sel, sel.pseudoLens.menuNext, LensChoice::kOnlyLens);
        return;
    }
    if (ctx.history.empty()) return;
    const HistoryEntry& latest = ctx.history.front();
    for (LensEntry* l = sel.pseudoLens.menuNext; l != nullptr; l = l->menuNext) {
        if (Same(l->group, latest.group) && Same(l->menuLens, latest.menuLens)) {
            Select(sel, l, LensChoice::kHistory);
            return;
        }
    }
}

void ChooseLens(const MatchContext& ctx, LensSelection& sel) {
    sel.lensChoice = LensChoice::kNone;
    sel.nameComparison = {};
    if (ctx.shot.focalLength != 0.0) {
        ChooseLensByFocalLength(ctx, sel);
    } else {
        ChooseLensWithoutFocalLength(ctx, sel);
    }
    // The history and the focal ranges come first; the name only chooses among
    // what they left open.
    if (sel.IsRealLensSelected() || CountLenses(sel) < 2) return;
    sel.nameComparison = CompareLensNames(ctx.shot, *sel.selectedCamera, sel.pseudoLens.menuNext);
    if (sel.nameComparison.chosen != nullptr) {
        Select(sel, sel.nameComparison.chosen, LensChoice::kName);
    }
}

void ApplyConverter(const MatchContext& ctx, LensSelection& sel) {
    metadata::ShotInfo& shot = ctx.shot;
    if (shot.focalLength == 0.0 || ctx.settings.converterDetected != 0 ||
        !sel.IsRealLensSelected()) {
        return;
    }
    const double factor = sel.selectedLens->converterFactor;
    shot.focalLength = shot.originalFocalLength * factor;
    shot.minFlen = shot.originalMinFlen * factor;
    shot.maxFlen = shot.originalMaxFlen * factor;
}

void SetDefaultFocalLength(const MatchContext& ctx, LensSelection& sel) {
    sel.focalInUse = static_cast<float>(ctx.shot.focalLength);
    if (sel.focalInUse != 0.0f || !sel.IsRealLensSelected()) return;
    const LensEntry& lens = *sel.selectedLens;
    const double flen = ctx.settings.flen;
    sel.focalInUse =
        flen >= lens.minFlen - kMatchTolerance && flen - kMatchTolerance <= lens.maxFlen
            ? ctx.settings.flen
            : lens.minFlen;
}

void RefreshFocalDisplay(const MatchContext& ctx, LensSelection& sel) {
    FocalLengthDisplay& display = sel.focalDisplay;
    display = {};
    if (!ctx.withWindow || sel.selectedCamera == nullptr) return;
    display.shown = true;
    display.edit = Fixed3(sel.focalInUse);
    if (!sel.IsRealLensSelected()) {
        display.label = ctx.texts.Text(kMsgFocalLength);
        return;
    }
    const LensEntry& lens = *sel.selectedLens;
    const auto points = ctx.database.PointsOf(lens);
    if (lens.firstPoint == lens.lastPoint || points.empty()) {
        display.label = ctx.texts.Text(kMsgFocalLength);
    } else {
        display.label = text::FormatText(ctx.texts.Text(kMsgFocalLengthRange),
                                         Fixed3(points.front().focal), Fixed3(points.back().focal));
    }
    ctx.settings.flen = sel.focalInUse;
}

void FillLensMenu(const MatchContext& ctx, LensSelection& sel) {
    ApplyConverter(ctx, sel);
    SetDefaultFocalLength(ctx, sel);
    if (!ctx.withWindow) return;
    sel.lensMenuLines = {};
    // A fixed-lens camera has nothing to choose: "Select Lens" is not offered.
    LensEntry* first = sel.CameraHasStandardLens() ? sel.pseudoLens.menuNext : &sel.pseudoLens;
    for (LensEntry* l = first; l != nullptr; l = l->menuNext) {
        l->menuIndex = static_cast<std::int32_t>(sel.lensMenuLines.lines.size());
        sel.lensMenuLines.lines.emplace_back(l->menuLens);
    }
    bool listed = false;
    for (const LensEntry* l = first; l != nullptr; l = l->menuNext)
        listed = listed || l == sel.selectedLens;
    sel.lensMenuLines.selected =
        sel.lensMenuLines.lines.empty() ? -1 : (listed ? sel.selectedLens->menuIndex : 0);
    RefreshFocalDisplay(ctx, sel);
}

// The camera named by the texts of the Make and Model menus.
CameraEntry* FindCamera(const MatchContext& ctx, const LensSelection& sel, std::string_view make,
                        std::string_view model, bool fallbackNeedsModel) {
    const bool makeInHistory =
        std::any_of(ctx.history.begin(), ctx.history.end(),
                    [&](const HistoryEntry& e) { return e.menuMake == make; });
    if (makeInHistory) {
        for (CameraEntry* cam = sel.candidates; cam != nullptr; cam = cam->candidateNext) {
            if (cam->menuMake == make && cam->menuModel == model) return cam;
        }
    }
    for (CameraEntry* cam = sel.candidates; cam != nullptr; cam = cam->candidateNext) {
        if (cam->menuMake == make && (!fallbackNeedsModel || cam->menuModel == model)) return cam;
    }
    return nullptr;
}

bool ValidLine(const SelectionMenu& menu, int line) {
    return line >= 0 && static_cast<std::size_t>(line) < menu.lines.size();
}

void CameraChanged(const MatchContext& ctx, LensSelection& sel, bool makeChanged) {
    sel.profileCorrection = true;
    sel.coefficientsValid = false;
    ctx.shot.focalLength = ctx.shot.originalFocalLength;
    const std::string make(sel.makeMenu.SelectedText());
    const std::string model(sel.modelMenu.SelectedText());
    CameraEntry* cam = FindCamera(ctx, sel, make, model, !makeChanged);
    if (cam == nullptr) return;
    sel.selectedCamera = cam;
    if (makeChanged && ctx.withWindow) FillModelMenu(sel);
    BuildLensMenuList(ctx, sel);
    ChooseLens(ctx, sel);
    FillLensMenu(ctx, sel);
}

}  // namespace

std::string_view SelectionMenu::SelectedText() const {
    return selected >= 0 && static_cast<std::size_t>(selected) < lines.size()
               ? std::string_view(lines[static_cast<std::size_t>(selected)])
               : std::string_view();
}

LensSelection::LensSelection() { Clear(); }

void LensSelection::Clear() {
    candidates = nullptr;
    selectedCamera = nullptr;
    lensMenu = nullptr;
    selectedLens = nullptr;
    pseudoLens = LensEntry{};
    pseudoLens.menuLens = kSelectLensName.data();
    lensChoice = LensChoice::kNone;
    nameComparison = {};
    coefficientsValid = false;
    makeMenu = {};
    modelMenu = {};
    lensMenuLines = {};
    focalDisplay = {};
}

bool Detect(const MatchContext& ctx, LensSelection& sel) {
    sel.Clear();
    // A freshly shown image starts with the profile correction on.
    sel.profileCorrection = true;
    DetectCameras(ctx, sel);
    if (sel.candidates == nullptr) {
        sel.profileCorrection = false;
        return false;
    }
    ChooseCamera(ctx, sel);
    if (ctx.withWindow) FillMakeAndModelMenus(sel);
    BuildLensMenuList(ctx, sel);
    ChooseLens(ctx, sel);
    FillLensMenu(ctx, sel);
    if (!sel.HasLensChoices()) {
        sel.profileCorrection = false;
        return false;
    }
    return ctx.correction.CorChoice != 0 || sel.IsRealLensSelected();
}

bool DetectForQuietCorrection(const MatchContext& ctx, LensSelection& sel) {
    const bool detected = Detect(ctx, sel);
    if (ctx.correction.CorChoice != 0) return true;
    return detected && sel.IsRealLensSelected() && ComputeCoefficients(ctx, sel).ok();
}

void MakeChanged(const MatchContext& ctx, LensSelection& sel, int line) {
    if (!ValidLine(sel.makeMenu, line)) return;
    sel.makeMenu.selected = line;
    CameraChanged(ctx, sel, true);
}

void ModelChanged(const MatchContext& ctx, LensSelection& sel, int line) {
    if (!ValidLine(sel.modelMenu, line)) return;
    sel.modelMenu.selected = line;
    CameraChanged(ctx, sel, false);
}

void LensChanged(const MatchContext& ctx, LensSelection& sel, int line) {
    if (!ValidLine(sel.lensMenuLines, line) || sel.lensMenu == nullptr) return;
    sel.lensMenuLines.selected = line;
    sel.coefficientsValid = false;
    const std::string_view name = sel.lensMenuLines.SelectedText();
    for (LensEntry* l = sel.lensMenu; l != nullptr; l = l->menuNext) {
        if (name == l->menuLens) {
            Select(sel, l, l == &sel.pseudoLens ? LensChoice::kNone : LensChoice::kUser);
            break;
        }
    }
    ApplyConverter(ctx, sel);
    SetDefaultFocalLength(ctx, sel);
    RefreshFocalDisplay(ctx, sel);
}

void FocalLengthEntered(const MatchContext& ctx, LensSelection& sel, std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || !std::isfinite(value)) value = 0.0;
    if (sel.IsRealLensSelected()) {
        const auto points = ctx.database.PointsOf(*sel.selectedLens);
        if (!points.empty()) {
            value = std::clamp(value, static_cast<double>(points.front().focal),
                               static_cast<double>(points.back().focal));
        }
    }
    sel.focalInUse = static_cast<float>(value);
    sel.coefficientsValid = false;
    RefreshFocalDisplay(ctx, sel);
}

Status ComputeCoefficients(const MatchContext& ctx, LensSelection& sel) {
    sel.coefficientsValid = false;
    if (sel.selectedCamera == nullptr || !sel.IsRealLensSelected()) return Status(1);
    const LensEntry& lens = *sel.selectedLens;
    const CameraEntry& cam = *sel.selectedCamera;
    const auto points = ctx.database.PointsOf(lens);
    if (points.empty()) return Status(1);

    double f = sel.focalInUse;
    const double first = points.front().focal;
    const double last = points.back().focal;
    if (!(f >= first - kMatchTolerance && f <= last + kMatchTolerance)) return Status(1);
    f = std::clamp(f, first, last);

    double a = points.front().a;
    double b = points.front().b;
    double c = points.front().c;
    if (points.size() > 1) {
        std::size_t i = 0;
        while (i + 1 < points.size() && points[i].focal < f) ++i;
        const CalibrationPoint& hi = points[i];
        if (hi.focal == f || i == 0) {
            a = hi.a;
            b = hi.b;
            c = hi.c;
        } else {
            const CalibrationPoint& lo = points[i - 1];
            const double t = (f - lo.focal) / (static_cast<double>(hi.focal) - lo.focal);
            a = lo.a + t * (static_cast<double>(hi.a) - lo.a);
            b = lo.b + t * (static_cast<double>(hi.b) - lo.b);
            c = lo.c + t * (static_cast<double>(hi.c) - lo.c);
        }
    }

    if (lens.calibrationCrop != cam.cropFactor) {
        // The same distortion expressed in the camera's own normalisation (half
        // its shorter image side) instead of the calibration camera's.
        const double k = static_cast<double>(lens.calibrationCrop) / cam.cropFactor;
        const double s = 1.0 / (1.0 - (a + b + c) + a * k * k * k + b * k * k + c * k);
        a = a * s * k * k * k;
        b = b * s * k * k;
        c = c * s * k;
    }
    if (!std::isfinite(a) || !std::isfinite(b) || !std::isfinite(c)) return Status(1);

    engine::LensModel model;
    model.a = static_cast<float>(a);
    model.b = static_cast<float>(b);
    model.c = static_cast<float>(c);
    const bool resize = ctx.correction.Resize != 0;
    if (ctx.settings.invertMode) {
        // Adds the lens's distortion instead of removing it.
        model.a = -model.a;
        model.b = -model.b;
        model.c = -model.c;
    }
    model.d = engine::ComputeConstantTerm(model.a, model.b, model.c, resize, ctx.imageWidth,
                                          ctx.imageHeight);
    sel.lensModel = model;
    sel.coefficientsValid = true;
    return Status::Ok();
}

std::string DetectionText(const MatchContext& ctx, LensSelection& sel) {
    std::string out;
    if (sel.selectedCamera == nullptr) {
        out.append(ctx.texts.Text(kMsgCameraNotCalibrated));
        out += kLineEnd;
        return out;
    }
    if (!sel.HasLensChoices()) {
        if (!sel.IsRealLensSelected()) {
            out.append(ctx.texts.Text(kMsgLensNotCalibrated));
            out += kLineEnd;
        }
        return out;
    }
    if (!ctx.withWindow || ctx.correction.CorChoice != 0 || !sel.profileCorrection) return out;
    if (!sel.IsRealLensSelected()) {
        out.append(ctx.texts.Text(kMsgSelectLens));
    } else if (!ComputeCoefficients(ctx, sel).ok()) {
        out.append(ctx.texts.Text(kMsgFocalNotCalibrated));
    }
    return out;
}

metadata::InfoTextContext InfoContextOf(const LensSelection& selection) {
    metadata::InfoTextContext context;
    context.cameraHasStandardLens = selection.CameraHasStandardLens();
    context.cameraAndLensSelected =
        selection.selectedCamera != nullptr && selection.IsRealLensSelected();
    return context;
}

}  // namespace quillon::lensdb
