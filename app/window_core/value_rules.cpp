#include "app/window_core/value_rules.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace quillon::app {

namespace {

using engine::CorrectionSettings;

constexpr std::array kControlInfos = {
    ValueControlInfo{
        ValueKey::kFisheyeDistortion,
        ControlId::kFisheyeDistortionSlider,
        ControlId::kFisheyeDistortionEdit,
        {engine::kFisheyeDistortionMin, engine::kFisheyeDistortionMax, ValueFormat::kWhole},
        41,
        &CorrectionSettings::FisheyeDistortion},
    ValueControlInfo{ValueKey::kFisheyeCrop,
                     ControlId::kFisheyeCropSlider,
                     ControlId::kFisheyeCropEdit,
                     {0, 50, ValueFormat::kWhole},
                     60,
                     &CorrectionSettings::FisheyeCrop},
    ValueControlInfo{ValueKey::kFisheyeRotate,
                     ControlId::kFisheyeRotateSlider,
                     ControlId::kFisheyeRotateEdit,
                     {-50, 50, ValueFormat::kTenths},
                     61,
                     &CorrectionSettings::FisheyeRotate},
    ValueControlInfo{ValueKey::kFisheyeHorz,
                     ControlId::kFisheyeHorzSlider,
                     ControlId::kFisheyeHorzEdit,
                     {-50, 50, ValueFormat::kTenths},
                     62,
                     &CorrectionSettings::FisheyeHorz},
    ValueControlInfo{ValueKey::kFisheyeVert,
                     ControlId::kFisheyeVertSlider,
                     ControlId::kFisheyeVertEdit,
                     {-50, 50, ValueFormat::kTenths},
                     63,
                     &CorrectionSettings::FisheyeVert},
    ValueControlInfo{ValueKey::kVigAmount,
                     ControlId::kVigAmountSlider,
                     ControlId::kVigAmountEdit,
                     {-100, 100, ValueFormat::kWhole},
                     43,
                     &CorrectionSettings::VigAmount},
    ValueControlInfo{ValueKey::kVigMidpoint,
                     ControlId::kVigMidpointSlider,
                     ControlId::kVigMidpointEdit,
                     {0, 100, ValueFormat::kWhole},
                     44,
                     &CorrectionSettings::VigMidpoint},
    ValueControlInfo{ValueKey::kPerspectVert,
                     ControlId::kPerspectVertSlider,
                     ControlId::kPerspectVertEdit,
                     {-100, 100, ValueFormat::kWhole},
                     17,
                     &CorrectionSettings::PerspectVert},
    ValueControlInfo{ValueKey::kPerspectHorz,
                     ControlId::kPerspectHorzSlider,
                     ControlId::kPerspectHorzEdit,
                     {-100, 100, ValueFormat::kWhole},
                     21,
                     &CorrectionSettings::PerspectHorz},
    ValueControlInfo{ValueKey::kPerspectRotate,
                     ControlId::kPerspectRotateSlider,
                     ControlId::kPerspectRotateEdit,
                     {-100, 100, ValueFormat::kTenths},
                     61,
                     &CorrectionSettings::PerspectRotate},
    ValueControlInfo{ValueKey::kPerspectScale,
                     ControlId::kPerspectScaleSlider,
                     ControlId::kPerspectScaleEdit,
                     {75, 125, ValueFormat::kWhole},
                     52,
                     &CorrectionSettings::PerspectScale},
    ValueControlInfo{ValueKey::kCaRed,
                     ControlId::kCaRedSlider,
                     ControlId::kCaRedEdit,
                     {-100, 100, ValueFormat::kTenThousandths},
                     22,
                     &CorrectionSettings::CaRed},
    ValueControlInfo{ValueKey::kCaBlue,
                     ControlId::kCaBlueSlider,
                     ControlId::kCaBlueEdit,
                     {-100, 100, ValueFormat::kTenThousandths},
                     23,
                     &CorrectionSettings::CaBlue},
    ValueControlInfo{ValueKey::kCaZoom,
                     ControlId::kCaZoomSlider,
                     ControlId::kCaZoomEdit,
                     {0, kMaxCaZoom, ValueFormat::kZoomPercent},
                     57,
                     nullptr},
};

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// An explicit '+' is accepted, but only right before a digit or point: "+-5"
// is no number.
std::string_view WithoutPlus(std::string_view text) {
    if (text.size() > 1 && text.front() == '+' && text[1] != '-' && text[1] != '+') {
        text.remove_prefix(1);
    }
    return text;
}

std::optional<std::int64_t> ReadWhole(std::string_view text) {
    text = WithoutPlus(text);
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<double> ReadDecimal(std::string_view text) {
    text = WithoutPlus(text);
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// Fixed-point text of |value| / divisor with `decimals` digits, built from
// integers so that the C library's locale (a window may set one) cannot turn
// the point into a comma.
std::string FixedText(std::int32_t value, std::int32_t divisor, int decimals) {
    const std::int64_t magnitude = std::llabs(static_cast<std::int64_t>(value));
    std::string fraction = std::to_string(magnitude % divisor);
    fraction.insert(0, static_cast<std::size_t>(decimals) - fraction.size(), '0');
    return std::to_string(magnitude / divisor) + "." + fraction;
}

bool InRange(const ValueRange& range, std::int64_t value) {
    return value >= range.minimum && value <= range.maximum;
}

}  // namespace

std::string FormatValue(ValueFormat format, std::int32_t value) {
    switch (format) {
        case ValueFormat::kWhole:
            return std::to_string(value);
        case ValueFormat::kTenths:
            return (value < 0 ? "-" : "") + FixedText(value, 10, 1);
        case ValueFormat::kTenThousandths: {
            // "%+07.4f": the sign always, the number padded with zeros to 7
            // characters in all (the sign included).
            std::string digits = FixedText(value, 10000, 4);
            if (digits.size() < 6) digits.insert(0, 6 - digits.size(), '0');
            return (value < 0 ? "-" : "+") + digits;
        }
        case ValueFormat::kZoomPercent:
            return value == 0 ? std::string() : std::to_string(value * 10 + 90) + "%";
    }
    return {};
}

std::optional<std::int32_t> ReadTypedValue(const ValueRange& range, std::string_view text) {
    text = Trimmed(text);
    std::int64_t value = 0;
    switch (range.format) {
        case ValueFormat::kWhole: {
            const auto whole = ReadWhole(text);
            if (!whole) return std::nullopt;
            value = *whole;
            break;
        }
        case ValueFormat::kTenths:
        case ValueFormat::kTenThousandths: {
            const auto decimal = ReadDecimal(text);
            if (!decimal) return std::nullopt;
            const double scaled =
                *decimal * (range.format == ValueFormat::kTenths ? 10.0 : 10000.0);
            // Decimal fractions are seldom exact in binary (0.3 x 10 is a hair
            // below 3), so the cut rounds away from zero by 0.1 first; a typed
            // 0.00015 gives 1.6 and so 1.
            const double rounded = std::trunc(scaled + (scaled < 0.0 ? -0.1 : 0.1));
            if (rounded < range.minimum || rounded > range.maximum) return std::nullopt;
            value = static_cast<std::int64_t>(rounded);
            break;
        }
        case ValueFormat::kZoomPercent: {
            if (!text.empty() && text.back() == '%')
                text = Trimmed(text.substr(0, text.size() - 1));
            if (text.empty()) {
                value = 0;
                break;
            }
            const auto percent = ReadWhole(text);
            // Far outside every step; also keeps the arithmetic below in range.
            if (!percent || *percent < -100000 || *percent > 100000) return std::nullopt;
            value = (*percent - 100) / 10 + 1;
            break;
        }
    }
    if (!InRange(range, value)) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::int32_t StepSize(bool up, bool shift) {
    const std::int32_t size = shift ? 10 : 1;
    return up ? size : -size;
}

std::int32_t StepValue(const ValueRange& range, std::int32_t value, std::int32_t step) {
    const std::int64_t moved = static_cast<std::int64_t>(value) + step;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(moved, range.minimum, range.maximum));
}

TypedOutcome CommitTypedText(const ValueRange& range, std::int32_t current,
                             std::string_view typed) {
    TypedOutcome outcome;
    if (const auto value = ReadTypedValue(range, typed)) {
        outcome.accepted = true;
        outcome.value = *value;
    } else {
        outcome.value = current;
        outcome.selectAll = true;
    }
    outcome.text = FormatValue(range.format, outcome.value);
    return outcome;
}

std::int32_t WheelNotches::Add(std::int32_t angleDelta) {
    constexpr std::int32_t kNotch = 120;
    // A turn the other way starts afresh rather than first paying off the
    // remainder of the previous direction.
    if ((pending_ > 0 && angleDelta < 0) || (pending_ < 0 && angleDelta > 0)) pending_ = 0;
    pending_ += angleDelta;
    const std::int32_t notches = pending_ / kNotch;
    pending_ -= notches * kNotch;
    return notches;
}

const ValueControlInfo& InfoOf(ValueKey key) {
    for (const ValueControlInfo& info : kControlInfos) {
        if (info.key == key) return info;
    }
    return kControlInfos.front();
}

std::span<const ValueControlInfo> AllValueControls() { return kControlInfos; }

}  // namespace quillon::app
