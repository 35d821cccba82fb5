#include "app/window_core/options_form.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <utility>

namespace quillon::app {

namespace {

// String numbers of the texts.
constexpr int kTextDetectCamera = 11;
constexpr int kTextDetectLens = 12;
constexpr int kTextDetectFlen = 16;
constexpr int kTextAlwaysDisplayDialog = 46;
constexpr int kTextConverter = 48;
constexpr int kTextResize = 49;
constexpr int kTextBrowse = 51;
constexpr int kTextLanguage = 54;
constexpr int kTextViewer = 68;
constexpr int kTextJpegQuality = 69;
constexpr int kTextSuffix = 70;
constexpr int kTextThreads = 87;
constexpr int kTextResetAlways = 91;

// A whole number as typed (blanks and a '+' allowed around it), or nothing.
std::optional<std::int64_t> WholeNumber(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error == std::errc::invalid_argument || end != text.data() + text.size()) {
        return std::nullopt;
    }
    // A number too long for 64 bits is still a number, only far out of range.
    if (error == std::errc::result_out_of_range) {
        return text.front() == '-' ? INT64_MIN : INT64_MAX;
    }
    return value;
}

std::int32_t LeaveNumber(std::string_view typed, std::int32_t previous, std::int32_t lowest,
                         std::int32_t highest) {
    const auto number = WholeNumber(typed);
    const std::int64_t value = number ? *number : previous;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, lowest, highest));
}

}  // namespace

OptionsVariant OptionsVariantFor(WindowVariant variant) {
    switch (variant) {
        case WindowVariant::kBrowser:
            return OptionsVariant::kBrowser;
        case WindowVariant::kEditor:
            return OptionsVariant::kEditor;
        case WindowVariant::kFilterDialog:
            return OptionsVariant::kPlugin;
    }
    return OptionsVariant::kEditor;
}

std::string_view OptionsTemplateName(OptionsVariant variant) {
    return variant == OptionsVariant::kEditor ? "OPTIONSEDIT" : "OPTIONS";
}

std::string_view OptionsFieldName(OptionsField field) {
    switch (field) {
        case OptionsField::kResetAlways:
            return "ResetAlwaysCheck";
        case OptionsField::kConverterDetected:
            return "ConverterDetectedCheck";
        case OptionsField::kDetectCamera:
            return "DetectCameraCheck";
        case OptionsField::kDetectLens:
            return "DetectLensCheck";
        case OptionsField::kDetectFlen:
            return "DetectFlenCheck";
        case OptionsField::kResize:
            return "ResizeCheck";
        case OptionsField::kAlwaysDisplayDialog:
            return "AlwaysDisplayDialogCheck";
        case OptionsField::kLanguage:
            return "LanguageMenu";
        case OptionsField::kThreads:
            return "ThreadsEdit";
        case OptionsField::kThreadsLabel:
            return "ThreadsLabel";
        case OptionsField::kJpegQuality:
            return "JpegQualityEdit";
        case OptionsField::kSuffix:
            return "SuffixEdit";
        case OptionsField::kViewer:
            return "ViewerEdit";
        case OptionsField::kBrowse:
            return "BrowseButton";
    }
    return {};
}

std::vector<OptionsControl> OptionsControls(OptionsVariant variant) {
    using F = OptionsField;
    if (variant == OptionsVariant::kPlugin) {
        return {{F::kResetAlways, 1013, kTextResetAlways},
                {F::kConverterDetected, 1011, kTextConverter},
                {F::kDetectCamera, 1108, kTextDetectCamera},
                {F::kDetectLens, 1106, kTextDetectLens},
                {F::kDetectFlen, 1107, kTextDetectFlen},
                {F::kResize, 1012, kTextResize},
                {F::kAlwaysDisplayDialog, 1009, kTextAlwaysDisplayDialog},
                {F::kLanguage, 1033, kTextLanguage},
                {F::kThreadsLabel, 1126, kTextThreads},
                {F::kThreads, 1128, kTextThreads}};
    }
    std::vector<OptionsControl> controls = {
        {F::kResetAlways, 1003, kTextResetAlways},   {F::kConverterDetected, 1011, kTextConverter},
        {F::kDetectCamera, 1006, kTextDetectCamera}, {F::kDetectLens, 1001, kTextDetectLens},
        {F::kDetectFlen, 1002, kTextDetectFlen},     {F::kResize, 1012, kTextResize},
        {F::kLanguage, 1033, kTextLanguage},         {F::kThreads, 1111, kTextThreads},
        {F::kJpegQuality, 1102, kTextJpegQuality}};
    if (variant == OptionsVariant::kBrowser) {
        controls.push_back({F::kSuffix, 1104, kTextSuffix});
        controls.push_back({F::kViewer, 1107, kTextViewer});
        controls.push_back({F::kBrowse, 1108, kTextBrowse});
    }
    return controls;
}

settings::SettingsRun OptionsRun(OptionsVariant variant) {
    settings::SettingsRun run;
    run.deliverable = variant == OptionsVariant::kPlugin ? settings::Deliverable::kPlugin
                                                         : settings::Deliverable::kProgram;
    run.mode = variant == OptionsVariant::kEditor ? settings::WindowMode::kEdit
                                                  : settings::WindowMode::kInteractive;
    return run;
}

OptionsForm::OptionsForm(OptionsVariant variant, const settings::SettingsValues& values,
                         const engine::CorrectionSettings& correction)
    : variant_(variant), values_(values), correction_(correction) {
    correction_.Processors = std::clamp(correction_.Processors, kThreadsMin, kThreadsMax);
    values_.jpegQuality = std::clamp(values_.jpegQuality, kJpegQualityMin, kJpegQualityMax);
}

std::int32_t* OptionsForm::CheckField(OptionsField field) {
    return const_cast<std::int32_t*>(std::as_const(*this).CheckField(field));
}

const std::int32_t* OptionsForm::CheckField(OptionsField field) const {
    switch (field) {
        case OptionsField::kResetAlways:
            return &values_.resetAlways;
        case OptionsField::kConverterDetected:
            return &values_.converterDetected;
        case OptionsField::kDetectCamera:
            return &values_.detectCamera;
        case OptionsField::kDetectLens:
            return &values_.detectLens;
        case OptionsField::kDetectFlen:
            return &values_.detectFlen;
        case OptionsField::kResize:
            return &correction_.Resize;
        case OptionsField::kAlwaysDisplayDialog:
            return &values_.alwaysDisplayDialog;
        default:
            return nullptr;
    }
}

bool OptionsForm::Checked(OptionsField field) const {
    const std::int32_t* value = CheckField(field);
    return value != nullptr && *value != 0;
}

void OptionsForm::SetChecked(OptionsField field, bool checked) {
    if (std::int32_t* value = CheckField(field)) *value = checked ? 1 : 0;
}

std::string OptionsForm::Text(OptionsField field) const {
    switch (field) {
        case OptionsField::kThreads:
            return std::to_string(correction_.Processors);
        case OptionsField::kJpegQuality:
            return std::to_string(values_.jpegQuality);
        case OptionsField::kSuffix:
            return values_.suffix;
        case OptionsField::kViewer:
            return values_.viewerPath;
        default:
            return {};
    }
}

std::string OptionsForm::Leave(OptionsField field, std::string_view typed) {
    switch (field) {
        case OptionsField::kThreads:
            correction_.Processors =
                LeaveNumber(typed, correction_.Processors, kThreadsMin, kThreadsMax);
            break;
        case OptionsField::kJpegQuality:
            values_.jpegQuality =
                LeaveNumber(typed, values_.jpegQuality, kJpegQualityMin, kJpegQualityMax);
            break;
        case OptionsField::kSuffix:
            if (!typed.empty()) values_.suffix = std::string(typed);
            break;
        case OptionsField::kViewer:
            values_.viewerPath = std::string(typed);
            break;
        default:
            break;
    }
    return Text(field);
}

settings::OptionsOutcome OptionsForm::Apply(settings::SettingsValues& values,
                                            engine::CorrectionSettings& correction) const {
    const settings::SettingsValues valuesBefore = values;
    const engine::CorrectionSettings correctionBefore = correction;
    values.language = values_.language;
    values.resetAlways = values_.resetAlways;
    values.converterDetected = values_.converterDetected;
    values.detectCamera = values_.detectCamera;
    values.detectLens = values_.detectLens;
    values.detectFlen = values_.detectFlen;
    correction.Resize = correction_.Resize;
    correction.Processors = correction_.Processors;
    if (variant_ == OptionsVariant::kPlugin) {
        values.alwaysDisplayDialog = values_.alwaysDisplayDialog;
    } else {
        values.jpegQuality = values_.jpegQuality;
    }
    if (variant_ == OptionsVariant::kBrowser) {
        values.suffix = values_.suffix;
        values.viewerPath = values_.viewerPath;
    }
    return settings::CompareOptions(OptionsRun(variant_), valuesBefore, correctionBefore, values,
                                    correction);
}

}  // namespace quillon::app
