#include "settings/settings_io.h"

#include <algorithm>
#include <array>
#include <bit>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "base/processors.h"
#include "platform/setting_access.h"

namespace quillon::settings {

using platform::ReadDwordSetting;
using platform::ReadFloatSetting;
using platform::ReadStringSetting;
using platform::ReportStoreResult;
using platform::WriteDwordSetting;
using platform::WriteFloatSetting;
using platform::WriteStringSetting;

namespace {

using engine::CorrectionSettings;

constexpr std::int32_t kCoefficientOrder = 10090000;
constexpr std::string_view kFallbackLanguage = "English";

struct CorrectionField {
    std::string_view name;
    std::int32_t CorrectionSettings::*field;
};

// The correction values after CorChoice, in the order they are read and
// written; the defaults are those of a fresh CorrectionSettings.
constexpr std::array<CorrectionField, 15> kCorrectionFields = {{
    {"VigAmount", &CorrectionSettings::VigAmount},
    {"VigMidpoint", &CorrectionSettings::VigMidpoint},
    {"CaRed", &CorrectionSettings::CaRed},
    {"CaBlue", &CorrectionSettings::CaBlue},
    {"FisheyeDistortion", &CorrectionSettings::FisheyeDistortion},
    {"FisheyeCrop", &CorrectionSettings::FisheyeCrop},
    {"FisheyeRotate", &CorrectionSettings::FisheyeRotate},
    {"FisheyeHorz", &CorrectionSettings::FisheyeHorz},
    {"FisheyeVert", &CorrectionSettings::FisheyeVert},
    {"PerspectVert", &CorrectionSettings::PerspectVert},
    {"PerspectHorz", &CorrectionSettings::PerspectHorz},
    {"PerspectScale", &CorrectionSettings::PerspectScale},
    {"PerspectRotate", &CorrectionSettings::PerspectRotate},
    {"PerspectShiftHorz", &CorrectionSettings::PerspectShiftHorz},
    {"PerspectShiftVert", &CorrectionSettings::PerspectShiftVert},
}};

struct DialogNames {
    std::string_view width;
    std::string_view height;
    std::string_view maximized;
};

DialogNames DialogNamesFor(const SettingsRun& run) {
    if (run.deliverable == Deliverable::kPlugin) {
        return {"DialogWidth", "DialogHeight", "DialogMaximized"};
    }
    if (run.mode == WindowMode::kEdit) {
        return {"DialogWidthEdit", "DialogHeightEdit", "DialogMaximizedEdit"};
    }
    return {"DialogWidthStd", "DialogHeightStd", "DialogMaximizedStd"};
}

// Hands the values of a save to the store in their fixed order, each only when
// it differs from what the store is known to hold (`stored`), and brings
// `stored` up to date for each value written. A dry run only counts what would
// be written; the stamps go only with a save that writes something else.
class Writer {
  public:
    Writer(platform::SettingsStore& key, platform::MessageSink& sink, bool known, bool dryRun,
           bool stamps)
        : key_(key), sink_(sink), known_(known), dryRun_(dryRun), stamps_(stamps) {}

    void Text(std::string_view name, const std::string& text, std::string& stored) {
        if (!Changed(text == stored)) return;
        if (Count(WriteStringSetting(key_, sink_, name, text))) stored = text;
    }
    void Number(std::string_view name, std::int32_t value, std::int32_t& stored) {
        if (!Changed(value == stored)) return;
        if (Count(WriteDwordSetting(key_, sink_, name, value))) stored = value;
    }
    // Compared as stored, bit for bit, so that a stored NaN is no change.
    void Real(std::string_view name, float value, float& stored) {
        if (!Changed(std::bit_cast<std::uint32_t>(value) == std::bit_cast<std::uint32_t>(stored))) {
            return;
        }
        if (Count(WriteFloatSetting(key_, sink_, name, value))) stored = value;
    }
    // The stored history is its ten most recent entries, written as a whole.
    void History(const LensHistoryList& history, LensHistoryList& stored) {
        const std::span<const lensdb::HistoryEntry> recent(
            history.data(), std::min<std::size_t>(history.size(), lensdb::kMaxStoredHistory));
        if (!Changed(std::ranges::equal(recent, stored))) return;
        if (Count(lensdb::SaveLensHistory(key_, sink_, recent))) {
            stored.assign(recent.begin(), recent.end());
        }
    }
    void StampNumber(std::string_view name, std::int32_t value) {
        if (stamps_ && !dryRun_) (void)Count(WriteDwordSetting(key_, sink_, name, value));
    }
    void StampText(std::string_view name, std::string_view text) {
        if (stamps_ && !dryRun_) (void)Count(WriteStringSetting(key_, sink_, name, text));
    }
    void Add(Status written) { (void)Count(written); }

    int changes() const { return changes_; }
    int failures() const { return failures_; }

  private:
    // Whether the value is to be written by a real run.
    bool Changed(bool same) {
        if (known_ && same) return false;
        ++changes_;
        return !dryRun_;
    }
    // Takes the outcome of one write (its failure reported where it was
    // found); true when it succeeded.
    bool Count(Status written) {
        if (!written.ok()) ++failures_;
        return written.ok();
    }

    platform::SettingsStore& key_;
    platform::MessageSink& sink_;
    bool known_;
    bool dryRun_;
    bool stamps_;
    int changes_ = 0;
    int failures_ = 0;
};

// The values of a save in their fixed order.
void WriteSettings(Writer& out, const SettingsRun& run, const SettingsValues& values,
                   const CorrectionSettings& correction, const LensHistoryList& history,
                   SaveScope scope, LoadedSettings& stored) {
    SettingsValues& was = stored.values;
    CorrectionSettings& wasCorrection = stored.correction;
    out.Text("Language", values.language, was.language);
    out.Number("ResetAlways", values.resetAlways, was.resetAlways);
    out.Number("ConverterDetected", values.converterDetected, was.converterDetected);
    out.Number("DetectCamera", values.detectCamera, was.detectCamera);
    out.Number("DetectLens", values.detectLens, was.detectLens);
    out.Number("DetectFlen", values.detectFlen, was.detectFlen);
    out.Number("Resize", correction.Resize, wasCorrection.Resize);
    out.Number("Processors", correction.Processors, wasCorrection.Processors);
    if (run.deliverable == Deliverable::kProgram) {
        out.Text("Suffix", values.suffix, was.suffix);
        out.Text("ViewerPath", values.viewerPath, was.viewerPath);
        out.Text("InputDir", values.inputDir, was.inputDir);
        out.Number("JpegQuality", values.jpegQuality, was.jpegQuality);
    } else {
        out.Number("AlwaysDisplayDialog", values.alwaysDisplayDialog, was.alwaysDisplayDialog);
    }
    if (scope != SaveScope::kEverything) return;

    out.History(history, stored.history);
    out.Number("CorChoice", correction.CorChoice, wasCorrection.CorChoice);
    out.StampNumber("Order", kCoefficientOrder);
    for (const CorrectionField& f : kCorrectionFields) {
        out.Number(f.name, correction.*f.field, wasCorrection.*f.field);
    }
    out.Number("GridColor", values.gridColor, was.gridColor);
    out.Real("Flen", values.flen, was.flen);
    out.Number("Tab", values.tab, was.tab);

    const DialogNames dialog = DialogNamesFor(run);
    out.Number(dialog.width, values.dialog.width, was.dialog.width);
    out.Number(dialog.height, values.dialog.height, was.dialog.height);
    out.Number(dialog.maximized, values.dialog.maximized, was.dialog.maximized);

    out.StampText("Version", kVersionText);
}

std::string UnreadableText(const platform::SettingsStore& store) {
    return "Quillon: error, settings file cannot be read: " + store.Location();
}

}  // namespace

Status LoadSettings(const SettingsStores& stores, const SettingsRun& run,
                    platform::MessageSink& sink, SettingsValues& values,
                    CorrectionSettings& correction, LensHistoryList& history,
                    LoadedSettings& loaded) {
    const SettingsValues defaults;
    const CorrectionSettings correctionDefaults;
    const bool program = run.deliverable == Deliverable::kProgram;

    // One read of each key for the whole load, so every value comes from the
    // same state of the file. A key that exists but cannot be read is not an
    // empty one: its defaults would correct photos with values the user never
    // chose.
    std::vector<platform::StoredValue> machineValues;
    std::vector<platform::StoredValue> userValues;
    for (const auto& [store, read] :
         {std::pair{&stores.machine, &machineValues}, std::pair{&stores.user, &userValues}}) {
        if (!store->ReadValues(*read)) {
            sink.Show(UnreadableText(*store));
            return Status(kSettingsUnreadable);
        }
    }
    const platform::MemorySettingsStore machine(std::move(machineValues));
    const platform::MemorySettingsStore key(std::move(userValues));

    if (!ReadStringSetting(machine, "Root", values.root, "").ok()) {
        sink.Show("Please re-install Quillon (code 01)");
        if (program) return Status(kRootMissing);
    }
    // Files are opened as root + name, so a folder recorded without its
    // separator would make every one of them miss.
    if (!values.root.empty() && values.root.back() != '/') values.root.push_back('/');

    (void)ReadDwordSetting(key, "Processors", correction.Processors, correctionDefaults.Processors);
    correction.Processors = ClampProcessors(correction.Processors);
    const std::int32_t storedProcessors = correction.Processors;

    const bool languageStored = ReadStringSetting(key, "Language", values.language, "").ok();
    const std::string storedLanguage = values.language;
    if (!languageStored) {
        if (run.chooseLanguage) {
            run.chooseLanguage(values.language, correction.Processors);
            correction.Processors = ClampProcessors(correction.Processors);
        } else {
            values.language = std::string(kFallbackLanguage);
        }
    }

    (void)ReadDwordSetting(key, "ResetAlways", values.resetAlways, defaults.resetAlways);
    (void)ReadDwordSetting(key, "ConverterDetected", values.converterDetected,
                           defaults.converterDetected);
    (void)ReadDwordSetting(key, "DetectCamera", values.detectCamera, defaults.detectCamera);
    (void)ReadDwordSetting(key, "DetectLens", values.detectLens, defaults.detectLens);
    (void)ReadDwordSetting(key, "DetectFlen", values.detectFlen, defaults.detectFlen);
    (void)ReadDwordSetting(key, "Resize", correction.Resize, correctionDefaults.Resize);
    if (program) {
        (void)ReadStringSetting(key, "Suffix", values.suffix, defaults.suffix);
        (void)ReadStringSetting(key, "ViewerPath", values.viewerPath, defaults.viewerPath);
        (void)ReadStringSetting(key, "InputDir", values.inputDir, defaults.inputDir);
        (void)ReadDwordSetting(key, "JpegQuality", values.jpegQuality, defaults.jpegQuality);
    } else {
        (void)ReadDwordSetting(key, "AlwaysDisplayDialog", values.alwaysDisplayDialog,
                               defaults.alwaysDisplayDialog);
    }

    QUILLON_RETURN_IF_ERROR(lensdb::LoadLensHistory(key, sink, history));

    (void)ReadDwordSetting(key, "CorChoice", correction.CorChoice, correctionDefaults.CorChoice);
    for (const CorrectionField& f : kCorrectionFields) {
        (void)ReadDwordSetting(key, f.name, correction.*f.field, correctionDefaults.*f.field);
    }
    (void)ReadDwordSetting(key, "GridColor", values.gridColor, defaults.gridColor);
    (void)ReadDwordSetting(key, "Tab", values.tab, defaults.tab);
    (void)ReadFloatSetting(key, "Flen", values.flen, defaults.flen);

    const DialogNames dialog = DialogNamesFor(run);
    (void)ReadDwordSetting(key, dialog.width, values.dialog.width, defaults.dialog.width);
    (void)ReadDwordSetting(key, dialog.height, values.dialog.height, defaults.dialog.height);
    (void)ReadDwordSetting(key, dialog.maximized, values.dialog.maximized,
                           defaults.dialog.maximized);

    // A stored file may hold anything (an old version, an editor, damage); a
    // perspective scale of 10000 would blank every photo the quiet mode
    // corrects, and no window would ever have shown it.
    BringIntoRanges(values, correction);

    loaded.values = values;
    loaded.values.language = storedLanguage;
    loaded.correction = correction;
    loaded.correction.Processors = storedProcessors;
    loaded.history = history;
    loaded.known = true;

    // The host's recorded parameters are what a script asked for: taken as
    // they come (the engine is safe for any value), and saved as this run's.
    if (!program && run.readScriptParameters) run.readScriptParameters(values, correction);
    return Status::Ok();
}

void BringIntoRanges(SettingsValues& values, CorrectionSettings& correction) {
    // The window shows a fisheye distortion it has no slider position for as
    // the smallest field, not as the nearer end.
    if (correction.FisheyeDistortion < engine::kFisheyeDistortionMin ||
        correction.FisheyeDistortion > engine::kFisheyeDistortionMax) {
        correction.FisheyeDistortion = engine::kFisheyeDistortionMin;
    }
    engine::ClampToRanges(correction);
    values.gridColor &= 0xffffff;
    if (values.tab < 0 || values.tab > 2) values.tab = 0;
}

Status SaveSettings(platform::SettingsStore& user, const SettingsRun& run,
                    platform::MessageSink& sink, const SettingsValues& values,
                    const CorrectionSettings& correction, const LensHistoryList& history,
                    SaveScope scope, LoadedSettings& loaded) {
    LoadedSettings written = loaded;
    Writer count(user, sink, loaded.known, /*dryRun=*/true, /*stamps=*/false);
    WriteSettings(count, run, values, correction, history, scope, written);

    Writer out(user, sink, loaded.known, /*dryRun=*/false,
               /*stamps=*/scope == SaveScope::kEverything);
    if (count.changes() > 0) {
        user.BeginWrites();
        WriteSettings(out, run, values, correction, history, scope, written);
        out.Add(ReportStoreResult(user.EndWrites(), sink, platform::kSettingsKeyName));
    }
    // After a failure the store may hold some of the new values and not
    // others; keeping the old baseline makes the next save try them all again.
    // A save of the preferences alone says nothing of the other values.
    if (out.failures() == 0) {
        written.known = loaded.known || scope == SaveScope::kEverything;
        loaded = std::move(written);
    }

    if (scope == SaveScope::kEverything && run.deliverable == Deliverable::kPlugin &&
        run.writeScriptParameters) {
        run.writeScriptParameters(values, correction);
    }
    return out.failures() == 0 ? Status::Ok() : Status(1);
}

}  // namespace quillon::settings
