#include "settings/settings_io.h"

#include <array>
#include <string_view>

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

// Counts failed writes while handing each value to the store in turn.
class Writer {
  public:
    Writer(platform::SettingsStore& key, platform::MessageSink& sink) : key_(key), sink_(sink) {}

    void Text(std::string_view name, std::string_view text) {
        failures_ += WriteStringSetting(key_, sink_, name, text);
    }
    void Number(std::string_view name, std::int32_t value) {
        failures_ += WriteDwordSetting(key_, sink_, name, value);
    }
    void Real(std::string_view name, float value) {
        failures_ += WriteFloatSetting(key_, sink_, name, value);
    }
    void Add(int failures) { failures_ += failures; }
    int failures() const { return failures_; }

  private:
    platform::SettingsStore& key_;
    platform::MessageSink& sink_;
    int failures_ = 0;
};

}  // namespace

Status LoadSettings(const SettingsStores& stores, const SettingsRun& run,
                    platform::MessageSink& sink, SettingsValues& values,
                    CorrectionSettings& correction, LensHistoryList& history) {
    const SettingsValues defaults;
    const CorrectionSettings correctionDefaults;
    const bool program = run.deliverable == Deliverable::kProgram;

    if (ReadStringSetting(stores.machine, "Root", values.root, "") != 0) {
        sink.Show("Please re-install Quillon (code 01)");
        if (program) return Status(kRootMissing);
    }
    // Files are opened as root + name, so a folder recorded without its
    // separator would make every one of them miss.
    if (!values.root.empty() && values.root.back() != '/') values.root.push_back('/');

    // One read of the user's key for the whole load, so every value comes from
    // the same state of the file.
    const platform::MemorySettingsStore key(stores.user.Values());

    (void)ReadDwordSetting(key, "Processors", correction.Processors, correctionDefaults.Processors);
    correction.Processors = ClampProcessors(correction.Processors);

    if (ReadStringSetting(key, "Language", values.language, "") != 0) {
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

    if (!program && run.readScriptParameters) run.readScriptParameters(values, correction);
    return Status::Ok();
}

Status SaveSettings(platform::SettingsStore& user, const SettingsRun& run,
                    platform::MessageSink& sink, const SettingsValues& values,
                    const CorrectionSettings& correction, const LensHistoryList& history,
                    SaveScope scope) {
    const bool program = run.deliverable == Deliverable::kProgram;
    Writer out(user, sink);
    user.BeginWrites();

    out.Text("Language", values.language);
    out.Number("ResetAlways", values.resetAlways);
    out.Number("ConverterDetected", values.converterDetected);
    out.Number("DetectCamera", values.detectCamera);
    out.Number("DetectLens", values.detectLens);
    out.Number("DetectFlen", values.detectFlen);
    out.Number("Resize", correction.Resize);
    out.Number("Processors", correction.Processors);
    if (program) {
        out.Text("Suffix", values.suffix);
        out.Text("ViewerPath", values.viewerPath);
        out.Text("InputDir", values.inputDir);
        out.Number("JpegQuality", values.jpegQuality);
    } else {
        out.Number("AlwaysDisplayDialog", values.alwaysDisplayDialog);
    }

    if (scope == SaveScope::kEverything) {
        out.Add(lensdb::SaveLensHistory(user, sink, history));

        out.Number("CorChoice", correction.CorChoice);
        out.Number("Order", kCoefficientOrder);
        for (const CorrectionField& f : kCorrectionFields) out.Number(f.name, correction.*f.field);
        out.Number("GridColor", values.gridColor);
        out.Real("Flen", values.flen);
        out.Number("Tab", values.tab);

        const DialogNames dialog = DialogNamesFor(run);
        out.Number(dialog.width, values.dialog.width);
        out.Number(dialog.height, values.dialog.height);
        out.Number(dialog.maximized, values.dialog.maximized);

        out.Text("Version", kVersionText);
    }

    out.Add(ReportStoreResult(user.EndWrites(), sink, platform::kSettingsKeyName));

    if (scope == SaveScope::kEverything && !program && run.writeScriptParameters) {
        run.writeScriptParameters(values, correction);
    }
    return out.failures() == 0 ? Status::Ok() : Status(1);
}

}  // namespace quillon::settings
